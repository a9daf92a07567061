# The text file export and the clipboard copy.
target_sources(orvelle_export PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/Clipboard.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/Clipboard.h
  ${CMAKE_CURRENT_SOURCE_DIR}/ClipboardCopy.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ClipboardCopy.h
  ${CMAKE_CURRENT_SOURCE_DIR}/TextExport.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/TextExport.h
  ${CMAKE_CURRENT_SOURCE_DIR}/TextExportFile.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/TextExportFile.h)
