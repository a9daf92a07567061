# The spreadsheet export against a recording application.
orvelle_test(tst_spreadsheet)
