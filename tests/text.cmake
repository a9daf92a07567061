# The text file export and the clipboard copy.
orvelle_test(tst_textexport)
orvelle_test(tst_clipboard)
