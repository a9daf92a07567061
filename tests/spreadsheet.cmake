# The spreadsheet export against a recording application.
orvelle_test(tst_spreadsheet)

# ... and against a real headless LibreOffice, which the test starts and ends
# itself. A cleanup step ends any office a crashed or timed-out run left.
if(TARGET orvelle_uno)
  orvelle_test(tst_spreadsheet_calc)
  target_link_libraries(tst_spreadsheet_calc PRIVATE orvelle_uno)
  set(_calc_pids ${CMAKE_CURRENT_BINARY_DIR}/tst_spreadsheet_calc.offices)
  target_compile_definitions(tst_spreadsheet_calc PRIVATE OFFICE_PID_FILE="${_calc_pids}")
  set_tests_properties(tst_spreadsheet_calc PROPERTIES TIMEOUT 120 FIXTURES_REQUIRED calc_offices)
  add_test(NAME tst_spreadsheet_calc_cleanup COMMAND tst_spreadsheet_calc --end-offices)
  set_tests_properties(tst_spreadsheet_calc_cleanup PROPERTIES FIXTURES_CLEANUP calc_offices TIMEOUT 30)
endif()
