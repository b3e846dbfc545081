#pragma once

#include "files/uatomicfile.h"

#include <QDialog>
#include <QLineEdit>

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class CSample;
class GlobalValue;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

// The six numbers of a stored sample: A, B, L, lead wire length, lead wire diameter (mm) and the
// measuring current (mA).
using TStoredSample = std::array<double, 6>;

// Whether a and b differ in what the measurement file holds of a sample: the channel number, the
// geometry, the lead wire and the current (the use flag is not saved).
bool SavedDescriptionDiffers(const CSample& a, const CSample& b);

// The stored sample list: section "Samples" of an INI file, one key per name. Every operation
// opens the file, does its one read or write and lets it go; writes are atomic.
class CStoredSampleList {
public:
    explicit CStoredSampleList(std::filesystem::path path) : m_path(std::move(path)) {}

    // "<folder of the running program>/Pellets.ini".
    static std::filesystem::path DefaultPath();

    // Names in file order; a missing file is an empty list.
    FileResult Names(std::vector<std::string>& names) const;
    // The entry of name; a missing name or a value that is not six numbers is an error.
    FileResult Read(const std::string& name, TStoredSample& values) const;
    // Stores values under name (replacing an entry of that name), each rounded to its number of
    // decimals and written with a point and no grouping, so that it reads back as it was.
    FileResult Write(const std::string& name, const TStoredSample& values,
                     const std::array<int, 6>& decimals);
    // Removes the entry of name; a missing name or file changes nothing.
    FileResult Remove(const std::string& name);

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// A line edit holding a number: it shows the value in its display format and reads what the
// operator typed when editing ends (the locale's or a point decimal separator, grouping allowed).
class CNumericEdit : public QLineEdit {
    Q_OBJECT
public:
    CNumericEdit(const QString& displayFormat, QWidget* parent = nullptr);

    // Commits pending typing first; text that is no number falls back to the last value.
    double Value();
    void SetValue(double value);
    const QString& DisplayFormat() const { return m_format; }

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    void Commit();
    QString m_format;
    double m_value = 0.0;
};

// The samples dialog: edits the description of the configured samples and keeps the stored
// sample list.
class TSelSampleDialog : public QDialog {
    Q_OBJECT
public:
    TSelSampleDialog(QWidget* owner, GlobalValue& global, CSample* sample,
                     std::filesystem::path storedListPath = CStoredSampleList::DefaultPath());

    void ShowSample(const CSample& sample);
    void ApplyToSample(CSample& sample);
    void LoadStoredList();

    CSample* CurrentSample() const { return m_pSample; }

    // The operator dialogue, replaceable by tests. InputName returns the typed name, or the default
    // text when cancelled; AskYesNo answers a "Question?" box; ShowError shows an "Error" box.
    std::function<QString(const QString& prompt, const QString& defaultText)> InputName;
    std::function<bool(const QString& question)> AskYesNo;
    std::function<void(const QString& message)> ShowError;

    // Handlers of the buttons and the sample chooser.
    void RzBitBtn1Click(); // Add
    void RzBitBtn2Click(); // Load
    void RzBitBtn3Click(); // Delete
    void RzBitBtn4Click(); // Apply
    void RzBitBtn5Click(); // Ok
    void RzComboBoxSampleChange(int index);

private:
    std::array<CNumericEdit*, 6> Edits() const;

    GlobalValue& m_global;
    CSample* m_pSample;
    CStoredSampleList m_list;

    QComboBox* RzComboBox1 = nullptr;
    QPushButton* RzBitBtn1 = nullptr;
    QPushButton* RzBitBtn2 = nullptr;
    QPushButton* RzBitBtn3 = nullptr;
    QLabel* RzLabel7 = nullptr;
    QComboBox* RzComboBoxSample = nullptr;
    CNumericEdit* RzNumericEdit_A = nullptr;
    CNumericEdit* RzNumericEdit_B = nullptr;
    CNumericEdit* RzNumericEdit_L = nullptr;
    CNumericEdit* RzNumericEdit_WL = nullptr;
    CNumericEdit* RzNumericEdit_WD = nullptr;
    CNumericEdit* RzNumericEdit_EC = nullptr;
    QCheckBox* RzCheckBox2 = nullptr;
    QPushButton* RzBitBtn4 = nullptr;
    QPushButton* RzBitBtn5 = nullptr;
};
