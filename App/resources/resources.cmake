# The thirteen text blocks and the warning sign, built into the library as byte arrays with
# their sizes (namespace BinaryData, header BinaryData.h). The text files keep their CR LF line
# ends byte for byte; .gitattributes stops git from converting them. tools/images draws the PNG.
set(UPDATER_BINARY_DATA
    ${CMAKE_CURRENT_LIST_DIR}/text/common.txt
    ${CMAKE_CURRENT_LIST_DIR}/text/english.txt
    ${CMAKE_CURRENT_LIST_DIR}/text/french.txt
    ${CMAKE_CURRENT_LIST_DIR}/text/german.txt
    ${CMAKE_CURRENT_LIST_DIR}/text/spanish.txt
    ${CMAKE_CURRENT_LIST_DIR}/text/italian.txt
    ${CMAKE_CURRENT_LIST_DIR}/text/dutch.txt
    ${CMAKE_CURRENT_LIST_DIR}/text/russian.txt
    ${CMAKE_CURRENT_LIST_DIR}/text/portuguese.txt
    ${CMAKE_CURRENT_LIST_DIR}/text/chinese_simplified.txt
    ${CMAKE_CURRENT_LIST_DIR}/text/chinese_traditional.txt
    ${CMAKE_CURRENT_LIST_DIR}/text/korean.txt
    ${CMAKE_CURRENT_LIST_DIR}/text/japanese.txt
    ${CMAKE_CURRENT_LIST_DIR}/images/warning.png)

juce_add_binary_data(updater_binary_data SOURCES ${UPDATER_BINARY_DATA})

# juceaide's command depends only on the list of names; regenerate when a file changes too.
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/juce_binarydata_updater_binary_data/JuceLibraryCode/BinaryData1.cpp
    APPEND DEPENDS ${UPDATER_BINARY_DATA})

target_link_libraries(updater_core PUBLIC updater_binary_data)
