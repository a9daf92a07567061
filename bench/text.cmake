# Speed of the text file export and the clipboard copy on 1,000,000 ticked rows.
add_executable(bench_exports bench_exports.cpp)
target_link_libraries(bench_exports PRIVATE orvelle_app Qt6::Test)
target_compile_definitions(bench_exports PRIVATE ZIPCODES_TSV="${PROJECT_SOURCE_DIR}/data/zipcodes.tsv")
