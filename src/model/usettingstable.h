#pragma once

#include <string>
#include <variant>
#include <vector>

class GlobalValue;

// One key of the settings file bound to its field in a GlobalValue.
struct SettingField {
    const char* Section;
    const char* Key;
    int Default;   // the integer a missing key stands for
    double Factor; // applied to the stored integer for double fields (1 otherwise)
    std::variant<int*, double*, bool*> Target;
};

// Every key of the settings file in file order, bound to the fields of g.
std::vector<SettingField> SettingFields(GlobalValue& g);

// The value a field holds, as the command-line program prints it: integers in decimal, doubles in
// shortest round-trip form, flags as 0 or 1.
std::string FormatSettingValue(const SettingField& field);
