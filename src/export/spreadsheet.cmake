# The spreadsheet export, and its LibreOffice backend when the SDK is found;
# without it, a backend that reports the application as missing.
option(ORVELLE_WITH_LIBREOFFICE "Reach LibreOffice Calc through UNO when its SDK is found" ON)
if(ORVELLE_WITH_LIBREOFFICE)
  list(APPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake)
  find_package(LibreOfficeSDK)
endif()

target_sources(orvelle_export PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/LibreOffice.h
  ${CMAKE_CURRENT_SOURCE_DIR}/Spreadsheet.h
  ${CMAKE_CURRENT_SOURCE_DIR}/SpreadsheetExport.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/SpreadsheetExport.h)

if(TARGET orvelle_uno)
  target_sources(orvelle_export PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}/LibreOffice.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/LibreOfficeProcess.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/LibreOfficeProcess.h
    ${CMAKE_CURRENT_SOURCE_DIR}/LibreOfficeUno.h)
  target_link_libraries(orvelle_export PRIVATE orvelle_uno)
  target_compile_definitions(orvelle_export PUBLIC ORVELLE_HAVE_UNO=1)
else()
  target_sources(orvelle_export PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/LibreOfficeStub.cpp)
  target_compile_definitions(orvelle_export PUBLIC ORVELLE_HAVE_UNO=0)
endif()
