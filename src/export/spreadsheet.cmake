# The spreadsheet export. Its backend reports the application as missing.
target_sources(orvelle_export PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/LibreOffice.h
  ${CMAKE_CURRENT_SOURCE_DIR}/LibreOfficeStub.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/Spreadsheet.h
  ${CMAKE_CURRENT_SOURCE_DIR}/SpreadsheetExport.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/SpreadsheetExport.h)
target_compile_definitions(orvelle_export PUBLIC ORVELLE_HAVE_UNO=0)
