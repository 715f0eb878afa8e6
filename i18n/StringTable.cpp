// The built-in English (United States) string table: the program's own string resources.
// Translations ship as resource libraries with the same IDs (i18n/lang/*.rc).
#include "i18n/modLocalize.h"
#include "platform/Utf16.h"

#include <array>

namespace levora {

namespace {

// Index = string ID; an ID without a text (nullptr) is reserved and has no resource. The texts are shown as they stand,
// odd spellings included: administrators and their scripts know them by these words.
constexpr std::array<const char*, modLocalize::kStringCount> kEnglish = {
    /*  0 */ " Build",
    /*  1 */ "(sounds below this level are not adjusted.  Recommended value is -45 dB)",
    /*  2 */ "(the default recording level for Talvio 3.1(x) is -26 dB.  Setting to 0 disables AGC entirely)",
    /*  3 */ "(the recommended maximum change is 5 dB.  Larger changes can cause distortion)",
    /*  4 */ "(the recommended sample size is 8000)",
    /*  5 */ "Aborting process... make sure you have enough room on your backup destination drive.",
    /*  6 */ "About",
    /*  7 */ "Are you sure you want to over write your greetings and voice names with the selected backup files?",
    /*  8 */ "Backup Original Voice Names and Greetings",
    /*  9 */ "Browse...",
    /* 10 */ "Change Language",
    /* 11 */ "Orvane Systems, Inc.",
    /* 12 */ "Copying greetings and voice names, please wait...",
    /* 13 */ "Copyright © 1999-2003 Orvane Systems, Inc.  All rights reserved.",
    /* 14 */ "Error backing up existing greetings and voice names: ",
    /* 15 */ "Error in FormLoad routine:",
    /* 16 */ "Error in Greeting Restore routine:",
    /* 17 */ "Error in form load procedure: ",
    /* 18 */ "Exit",
    /* 19 */ "File",
    /* 20 */ "Finished.  Press OK to view log file now.",
    /* 21 */ "Help",
    /* 22 */ "Max dB adjustement:",
    /* 23 */ "Min dB threshold:",
    /* 24 */ "New target dB level:",
    /* 25 */
    "No backup target directory selected!  Please select a location to backup greetings and voice names to and try "
    "again.",
    /* 26 */ "No files selected for updating!",
    /* 27 */ "No greetings and voice name files found at that backup location, check the directory and try again.",
    /* 28 */ "No greetings files found in stream file path...",
    /* 29 */ "OK",
    /* 30 */ "Options",
    /* 31 */ "Overwrite existing files?",
    /* 32 */ "Progress",
    /* 33 */ "Restore backed up greetings and voice names",
    /* 34 */ "Sample size:",
    /* 35 */ "4400 Orchard Ridge Drive, San Jose, CA 95134",
    /* 36 */
    "Save above volume options to the registry after applying to existing greetings and voice names?  (Recommended)",
    /* 37 */ "Save original files  to:",
    /* 38 */ "Select All",
    /* 39 */ "Select Greetings and Voice Names to Adjust",
    /* 40 */ "Select Language",
    /* 41 */ "Levora Level",
    /* 42 */ "Syncronization between SQL and the directory failed.  Check log for details.",
    /* 43 */ "Syncronizing SQL with directory...",
    /* 44 */
    "There are greeting and voice name files already stored at the selected backup location.  Do you want to overwrite "
    "them?",
    /* 45 */
    "This utility cannot be run from Windows Terminal Services since it needs to interact with WAV drivers.  "
    "Exiting...",
    /* 46 */
    "This utility has not been tested with Talvio 4.1 or later... please download a newer version of this utility",
    /* 47 */ "This utility only runs on servers running Talvio 3.1(1) or later",
    /* 48 */ "United States of America",
    /* 49 */ "UnSelect All",
    /* 50 */
    "Orvane and Talvio are trademarks or registered trademarks of Orvane Systems, Inc. in the United States and other "
    "countries.",
    /* 51 */ "Version:",
    /* 52 */
    "You can refine the list of subscribers you will have to choose from on the next panel by selecting one of these "
    "options.",
    /* 53 */ "no languages loaded",
    /* 54 */ "File Name",
    /* 55 */ "Restore finished.  The greetings and voice names were copied back from the backup.",
    /* 56 */ "Level (dBov)",
    /* 57 */ "Save level report...",
    /* 58 */ "Another Levora run is already working on this machine.  Try again when it has finished.",
    /* 59 */
    "Damaged registry: %1, line %2.  Levora cannot read the server's settings until this file is mended or moved "
    "away.",
    /* 60 */
    "The backup folder must lie outside the host's folders: a backup there would delete or overwrite the "
    "greetings it is meant to keep.  Choose another backup folder.",
    /* 61 */ "silent",
    /* 62 */ "Active speech %1 %, %2 s, %3",
    /* 63 */ "%1 is not a readable WAV file.",
    /* 64 */ "A run is under way.  Stop it after the files being levelled now?",
    /* 65 */ "Stopped by the user after %1 of %2 files.",
    /* 66 */
    "%1 lies on a %2 file system, where Levora cannot replace files safely.  Attach the host with levora-host attach "
    "and level the attached copy, or start Levora with --allow-network-drive to level there anyway.",
    /* 67 */ "%1 of %2 files levelled",
    /* 68 */ "%1 of %2 files levelled, %3 could not be (see the log)",
    /* 69 */ "Select files outside the target band",
    /* 70 */ "Stopping after the files being levelled now...",
};

} // namespace

std::string modLocalize::builtInString(int32_t id) {
    if (!hasBuiltInString(id))
        return {};
    return kEnglish[static_cast<size_t>(id)];
}

bool modLocalize::hasBuiltInString(int32_t id) {
    return id >= 0 && id < kStringCount && kEnglish[static_cast<size_t>(id)] != nullptr;
}

std::u16string modLocalize::builtInStringW(uint32_t id) {
    if (!hasBuiltInString(static_cast<int32_t>(id)))
        return {};
    return toUtf16(kEnglish[id], BadUtf8::Replace);
}

} // namespace levora
