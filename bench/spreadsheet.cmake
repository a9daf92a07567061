# The spreadsheet export of 10,000 ticked rows into a real headless LibreOffice.
if(TARGET orvelle_uno)
  add_executable(bench_spreadsheet bench_spreadsheet.cpp)
  target_link_libraries(bench_spreadsheet PRIVATE orvelle_app)
endif()
