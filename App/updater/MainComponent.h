#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

//==============================================================================
/**
    The whole content of the updater's window: the screens, the device link and the update
    thread.

    At construction it finds the update file beside the executable, checks its header and
    measures it (MainComponentUpdateFile.cpp); the results stay fixed for the life of the
    process.

    Threads: everything here runs on the message thread. The update thread later reads the
    update-file fields without a lock; they are written before it can start and never again.
*/
class MainComponent
{
public:
    //==============================================================================
    MainComponent();
    ~MainComponent();

    //==============================================================================
    /** Looks in the executable's folder (not its sub-folders) for a file that the platform
        lists for "*.upd" and whose name passes isUpdateFileName; the first one listed is taken.
        Its bare name (at most 19 bytes of UTF-8) is then appended to out, which must have room
        for 20 more bytes.
    */
    static bool findUpdateFile (const char* prefix, const char* extension, char* out);

    /** True when name (UTF-8) starts with prefix, the text from its first '.' starts with
        extension, both case-sensitively, and it is 12 to 19 bytes long.
    */
    static bool isUpdateFileName (const char* name, const char* prefix, const char* extension);

    /** CRC-16/XMODEM of length bytes (0 for none). */
    static juce::uint16 calcCrc16 (const juce::uint8* data, int length);

    /** 0 to 15 for the hexadecimal digits of either case, 0 for any other character. */
    static juce::uint8 hexDigitValue (juce::uint8 c);

    /** Paints a vector status icon (alert-window icon codes) into (20, 15, 64, 64). */
    static void drawStatusIcon (juce::Graphics& g, int iconType);

private:
    //==============================================================================
    friend struct MainComponentTestAccess;

    struct MembersOnly {};

    /** Builds the members alone, with none of the constructor's steps: no widgets, no device
        link, no file search. Lets tests reach single operations; the destructor copes with it.
    */
    explicit MainComponent (MembersOnly);

    //==============================================================================
    /** The constructor's file steps: searches the prefixes in their order, keeps the name
        found, loads that file and sets fileValid, fileVersion and payloadSize from it.
    */
    void checkUpdateFile();

    /** Reads the named file of the executable's folder whole. Returns its length less the
        36-byte header when it begins with the first 5 characters of magic, else 0. Sets
        *version (-1 first) and the image fields for any file of 36 bytes or more that was
        read completely; files that cannot be read whole leave both untouched.
    */
    int loadUpdateFile (const juce::String& name, const char* magic, int* version);

    /** loadUpdateFile's work on an opened file. */
    int loadUpdateStream (juce::InputStream& stream, const char* magic, int* version);

    //==============================================================================
    int fileVersion = -1;
    int fileValid = 0;
    int payloadSize = 0;
    juce::uint32 imageSize[1] = {};
    juce::uint16 imageCrc[1] = {};
    juce::uint8 imageWrite[1] = {};
    juce::String updateFileName;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
