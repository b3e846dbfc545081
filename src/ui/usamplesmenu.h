#pragma once

#include <functional>

#include <QString>

class CSample;
class GlobalValue;
class QLocale;
class QMenu;
class QWidget;

// The Samples submenu of the Edit menu: one checkable entry per sample that switches the sample in
// or out of the measurement, a separator, and "Edit property" that opens the samples dialog.

// Rebuilds the entries from the samples as they are now. Call it each time the submenu is about to
// show, so that captions and check marks follow edits made elsewhere. afterEdit runs when an entry
// switched a sample's use and when the samples dialog has closed (the main window repaints its
// tree of temperature points there).
void FillSamplesMenu(QMenu* menu, GlobalValue& global, QWidget* dialogParent,
                     std::function<void()> afterEdit = {});

// Connects the submenu's aboutToShow to FillSamplesMenu and fills it once at once.
void InstallSamplesMenu(QMenu* menu, GlobalValue& global, QWidget* dialogParent,
                        std::function<void()> afterEdit = {});

// "#i (AxBxL@I)": millimetres and milliamperes with two to four decimals in the locale's notation.
QString SampleMenuCaption(int index, const CSample& sample, const QLocale& locale);

// Opens the samples dialog modally on sample 0 and frees it when it closes.
void ExecSelSampleDialog(QWidget* parent, GlobalValue& global);
