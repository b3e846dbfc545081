#pragma once

#include <QColor>

// Colours in the settings file are stored with red in the low byte, green in the middle byte and
// blue in the high byte.
inline QColor ColorFromSetting(int value) {
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}
