# The spreadsheet export: sources added here.
