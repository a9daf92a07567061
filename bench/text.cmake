# Speed of the text file export and the clipboard copy on 1,000,000 ticked rows.
foreach(name bench_textexport bench_clipboard)
  add_executable(${name} ${name}.cpp)
  target_link_libraries(${name} PRIVATE orvelle_app)
  target_compile_definitions(${name} PRIVATE ZIPCODES_TSV="${PROJECT_SOURCE_DIR}/data/zipcodes.tsv")
endforeach()
