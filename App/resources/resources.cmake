# The thirteen text blocks, built into the library as byte arrays with their sizes
# (namespace TextBlocks, header TextBlocks.h). The files keep their CR LF line ends
# byte for byte; .gitattributes stops git from converting them.
set(UPDATER_TEXT_BLOCKS
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
    ${CMAKE_CURRENT_LIST_DIR}/text/japanese.txt)

juce_add_binary_data(updater_text_blocks
    HEADER_NAME TextBlocks.h
    NAMESPACE TextBlocks
    SOURCES ${UPDATER_TEXT_BLOCKS})

# juceaide's command depends only on the list of names; regenerate when a block changes too.
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/juce_binarydata_updater_text_blocks/JuceLibraryCode/BinaryData1.cpp
    APPEND DEPENDS ${UPDATER_TEXT_BLOCKS})

target_link_libraries(updater_core PUBLIC updater_text_blocks)
