target_sources(orvelle_export PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/Placeholder.cpp)
