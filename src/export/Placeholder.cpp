// replaced by the exports
