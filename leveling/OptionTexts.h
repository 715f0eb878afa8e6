// The four option texts of the main window, and the numbers they stand for.
#pragma once

#include <string>

namespace levora {

struct OptionTexts {
    std::string target;     // cmbTargetDB   -> -t
    std::string minimum;    // cmbMindBLevel -> -m
    std::string sampleSize; // cmbSampleSize -> -b
    std::string maxChange;  // cmbGainThreshold -> -g
};

// The number a text begins with: blanks anywhere are ignored, reading stops at the first character
// that cannot continue the number, a text that does not begin with one gives 0 (" -26 dB" -> -26).
// Throws levora::Error (Overflow) for a number too large for a double.
double NumberOfText(const std::string& text);

} // namespace levora
