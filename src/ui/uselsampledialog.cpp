#include "ui/uselsampledialog.h"

#include "model/uglobal.h"
#include "model/unumtext.h"
#include "ui/cmystringgrid.h"
#include "ui/unumberformat.h"

#include <SimpleIni.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const char* const SectionName = "Samples";
const QString DefaultName = QStringLiteral("Sample name");
constexpr std::size_t MaxListBytes = std::size_t{16} << 20;

// Loads the list into ini; a missing file is an empty list, an unreadable one an error.
FileResult LoadIni(const std::filesystem::path& path, CSimpleIniA& ini) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return FileResult::Success();
    std::string text;
    if (FileResult read = ReadWholeFile(path, text, MaxListBytes); !read)
        return read;
    if (ini.LoadData(text) < 0)
        return FileResult::Failure("Cannot read " + path.string());
    return FileResult::Success();
}

FileResult SaveIni(const std::filesystem::path& path, CSimpleIniA& ini) {
    std::string text;
    if (ini.Save(text) < 0)
        return FileResult::Failure("Cannot write " + path.string());
    return WriteFileAtomically(path, text);
}

char LocaleDecimalHint() {
    const QString point = QLocale().decimalPoint();
    return point == QLatin1String(",") ? ',' : point == QLatin1String(".") ? '.' : 0;
}
} // namespace

bool SavedDescriptionDiffers(const CSample& a, const CSample& b) {
    return a.iDevId != b.iDevId || a.dA != b.dA || a.dB != b.dB || a.dL != b.dL || a.dWireL != b.dWireL ||
           a.dWireD != b.dWireD || a.dCurrent != b.dCurrent;
}

// --- CStoredSampleList ---

std::filesystem::path CStoredSampleList::DefaultPath() {
    return GlobalValue::DefaultIniPath().parent_path() / "Pellets.ini";
}

FileResult CStoredSampleList::Names(std::vector<std::string>& names) const {
    names.clear();
    CSimpleIniA ini;
    if (FileResult loaded = LoadIni(m_path, ini); !loaded)
        return loaded;
    CSimpleIniA::TNamesDepend keys;
    ini.GetAllKeys(SectionName, keys);
    keys.sort(CSimpleIniA::Entry::LoadOrder());
    for (const auto& key : keys)
        names.emplace_back(key.pItem);
    return FileResult::Success();
}

FileResult CStoredSampleList::Read(const std::string& name, TStoredSample& values) const {
    CSimpleIniA ini;
    if (FileResult loaded = LoadIni(m_path, ini); !loaded)
        return loaded;
    const char* text = ini.GetValue(SectionName, std::string(TrimBlanks(name)).c_str(), nullptr);
    if (!text)
        return FileResult::Failure("There is no stored sample named \"" + name + "\".");
    const std::optional<std::vector<double>> numbers = ParseLooseNumbers(text);
    if (!numbers || numbers->size() != values.size())
        return FileResult::Failure("The stored sample \"" + name + "\" cannot be read: \"" + text +
                                   "\" is not six numbers.");
    std::copy(numbers->begin(), numbers->end(), values.begin());
    return FileResult::Success();
}

FileResult CStoredSampleList::Write(const std::string& name, const TStoredSample& values,
                                    const std::array<int, 6>& decimals) {
    const std::string key = std::string(TrimBlanks(name));
    // What the INI syntax cannot hold as a key would come back as another name or not at all.
    if (key.empty() || key.find_first_of("=\r\n") != std::string::npos || key.front() == '[' ||
        key.front() == ';' || key.front() == '#')
        return FileResult::Failure("\"" + name + "\" cannot be used as the name of a stored sample.");
    CSimpleIniA ini;
    ini.SetSpaces(false);
    if (FileResult loaded = LoadIni(m_path, ini); !loaded)
        return loaded;
    std::string value;
    const TNumberSeparators plain{".", ""};
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i)
            value += ' ';
        value +=
            FormatNumber(values[i], "0." + std::string(static_cast<std::size_t>(decimals[i]), '#'), plain);
    }
    ini.SetValue(SectionName, key.c_str(), value.c_str());
    return SaveIni(m_path, ini);
}

FileResult CStoredSampleList::Remove(const std::string& name) {
    CSimpleIniA ini;
    ini.SetSpaces(false);
    if (FileResult loaded = LoadIni(m_path, ini); !loaded)
        return loaded;
    if (!ini.Delete(SectionName, std::string(TrimBlanks(name)).c_str()))
        return FileResult::Success();
    return SaveIni(m_path, ini);
}

// --- CNumericEdit ---

CNumericEdit::CNumericEdit(const QString& displayFormat, QWidget* parent)
    : QLineEdit(parent), m_format(displayFormat) {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(this, &QLineEdit::editingFinished, this, &CNumericEdit::Commit);
    SetValue(0.0);
}

double CNumericEdit::Value() {
    Commit();
    return m_value;
}

void CNumericEdit::SetValue(double value) {
    m_value = value;
    setText(FormatLocaleNumber(value, m_format));
}

void CNumericEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    selectAll();
}

void CNumericEdit::Commit() {
    const QString shown = FormatLocaleNumber(m_value, m_format);
    if (text() == shown)
        return; // untouched: keep every digit of the value, not just the ones shown
    const std::optional<double> typed = ParseLooseNumber(text().toStdString(), LocaleDecimalHint());
    SetValue(typed ? *typed : m_value);
}

// --- TSelSampleDialog ---

TSelSampleDialog::TSelSampleDialog(QWidget* owner, GlobalValue& global, CSample* sample,
                                   std::filesystem::path storedListPath)
    : QDialog(owner), m_global(global), m_pSample(sample), m_list(std::move(storedListPath)) {
    setObjectName("SelSampleDialog");
    InputName = [this](const QString& prompt, const QString& defaultText) {
        bool ok = false;
        const QString text =
            QInputDialog::getText(this, QString(), prompt, QLineEdit::Normal, defaultText, &ok);
        return ok ? text : defaultText;
    };
    AskYesNo = [this](const QString& question) {
        return QMessageBox::question(this, "Question?", question, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    };
    ShowError = [this](const QString& message) { QMessageBox::critical(this, "Error", message); };

    auto named = [](auto* widget, const char* name) {
        widget->setObjectName(name);
        return widget;
    };

    auto* stored = new QGroupBox("Stored sample list");
    RzComboBox1 = named(new QComboBox, "RzComboBox1");
    RzComboBox1->setEditable(true);
    RzComboBox1->setInsertPolicy(QComboBox::NoInsert);
    RzComboBox1->setMinimumContentsLength(20);
    RzBitBtn1 = named(new QPushButton("Add"), "RzBitBtn1");
    RzBitBtn2 = named(new QPushButton("Load"), "RzBitBtn2");
    RzBitBtn3 = named(new QPushButton("Delete"), "RzBitBtn3");
    auto* storedButtons = new QHBoxLayout;
    storedButtons->addWidget(RzBitBtn1);
    storedButtons->addWidget(RzBitBtn2);
    storedButtons->addWidget(RzBitBtn3);
    auto* storedLayout = new QVBoxLayout(stored);
    storedLayout->addWidget(RzComboBox1);
    storedLayout->addLayout(storedButtons);

    RzLabel7 = named(new QLabel, "RzLabel7");
    RzComboBoxSample = named(new QComboBox, "RzComboBoxSample");
    auto* chooser = new QHBoxLayout;
    chooser->addWidget(RzLabel7, 1);
    chooser->addWidget(RzComboBoxSample);

    RzNumericEdit_A = named(new CNumericEdit(",0.##;(,0)"), "RzNumericEdit_A");
    RzNumericEdit_B = named(new CNumericEdit(",0.##;(,0)"), "RzNumericEdit_B");
    RzNumericEdit_L = named(new CNumericEdit(",0.##;(,0)"), "RzNumericEdit_L");
    RzNumericEdit_WL = named(new CNumericEdit(",0.##;(,0)"), "RzNumericEdit_WL");
    RzNumericEdit_WD = named(new CNumericEdit(",0.####;(,0)"), "RzNumericEdit_WD");
    RzNumericEdit_EC = named(new CNumericEdit(",0.##;(,0)"), "RzNumericEdit_EC");

    auto* geometry = new QGroupBox("Sample geometrical paramters");
    auto* geometryLayout = new QFormLayout(geometry);
    geometryLayout->addRow("A, mm", RzNumericEdit_A);
    geometryLayout->addRow("B, mm", RzNumericEdit_B);
    geometryLayout->addRow("L, mm", RzNumericEdit_L);
    auto* wire = new QGroupBox("Leading wire");
    auto* wireLayout = new QFormLayout(wire);
    wireLayout->addRow("Length, mm", RzNumericEdit_WL);
    wireLayout->addRow("Diameter, mm", RzNumericEdit_WD);
    auto* electrical = new QGroupBox("Electrical parameters");
    auto* electricalLayout = new QFormLayout(electrical);
    electricalLayout->addRow("Current, mA", RzNumericEdit_EC);

    RzCheckBox2 = named(new QCheckBox("Use this sample in measure"), "RzCheckBox2");
    RzBitBtn4 = named(new QPushButton("Apply"), "RzBitBtn4");
    RzBitBtn5 = named(new QPushButton("Ok"), "RzBitBtn5");
    RzBitBtn5->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(RzCheckBox2, 1);
    buttons->addWidget(RzBitBtn4);
    buttons->addWidget(RzBitBtn5);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(stored);
    layout->addLayout(chooser);
    layout->addWidget(geometry);
    layout->addWidget(wire);
    layout->addWidget(electrical);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(RzBitBtn1, &QPushButton::clicked, this, &TSelSampleDialog::RzBitBtn1Click);
    connect(RzBitBtn2, &QPushButton::clicked, this, &TSelSampleDialog::RzBitBtn2Click);
    connect(RzBitBtn3, &QPushButton::clicked, this, &TSelSampleDialog::RzBitBtn3Click);
    connect(RzBitBtn4, &QPushButton::clicked, this, &TSelSampleDialog::RzBitBtn4Click);
    connect(RzBitBtn5, &QPushButton::clicked, this, &TSelSampleDialog::RzBitBtn5Click);

    // FormCreate
    setWindowTitle("Samples edit dialog");
    LoadStoredList();
    for (int i = 0; i < static_cast<int>(m_global.Samples.size()); ++i)
        RzComboBoxSample->addItem(QString("Sample # %1").arg(i));
    // The chooser lists positions in the sample array, so the current sample is found by its
    // position: its iDevId may be anything after a measurement file was loaded.
    int position = -1;
    for (std::size_t i = 0; i < m_global.Samples.size(); ++i)
        if (m_global.Samples[i].get() == m_pSample)
            position = static_cast<int>(i);
    RzComboBoxSample->setCurrentIndex(position);
    connect(RzComboBoxSample, &QComboBox::activated, this, &TSelSampleDialog::RzComboBoxSampleChange);
    if (m_pSample)
        ShowSample(*m_pSample);
}

std::array<CNumericEdit*, 6> TSelSampleDialog::Edits() const {
    return {RzNumericEdit_A,  RzNumericEdit_B,  RzNumericEdit_L,
            RzNumericEdit_WL, RzNumericEdit_WD, RzNumericEdit_EC};
}

void TSelSampleDialog::ShowSample(const CSample& sample) {
    RzLabel7->setText(QString("Current sample selected #%1").arg(sample.GetDevId()));
    RzCheckBox2->setChecked(sample.GetUse());
    RzNumericEdit_A->SetValue(sample.GetA(usMilli));
    RzNumericEdit_B->SetValue(sample.GetB(usMilli));
    RzNumericEdit_L->SetValue(sample.GetL(usMilli));
    RzNumericEdit_WL->SetValue(sample.GetWireL(usMilli));
    RzNumericEdit_WD->SetValue(sample.GetWireD(usMilli));
    RzNumericEdit_EC->SetValue(sample.GetCurrent(usMilli));
}

void TSelSampleDialog::ApplyToSample(CSample& sample) {
    const CSample before = sample;
    sample.SetUse(RzCheckBox2->isChecked());
    sample.SetA(RzNumericEdit_A->Value(), usMilli);
    sample.SetB(RzNumericEdit_B->Value(), usMilli);
    sample.SetL(RzNumericEdit_L->Value(), usMilli);
    sample.SetWireL(RzNumericEdit_WL->Value(), usMilli);
    sample.SetWireD(RzNumericEdit_WD->Value(), usMilli);
    sample.SetCurrent(RzNumericEdit_EC->Value(), usMilli);
    // The description goes into the measurement file (the use flag does not).
    if (SavedDescriptionDiffers(before, sample))
        m_global.bMeasureSaved = false;
}

void TSelSampleDialog::LoadStoredList() {
    RzComboBox1->clear();
    std::vector<std::string> names;
    if (FileResult read = m_list.Names(names); !read)
        ShowError(QString::fromStdString(read.Message));
    for (const std::string& name : names)
        RzComboBox1->addItem(QString::fromStdString(name));
    RzComboBox1->setCurrentIndex(-1);
}

void TSelSampleDialog::RzBitBtn1Click() {
    const QString name = InputName(QString::fromUtf8("Название образца"), DefaultName);
    if (name == DefaultName || name.trimmed().isEmpty())
        return;
    TStoredSample values{};
    std::array<int, 6> decimals{};
    const auto edits = Edits();
    for (std::size_t i = 0; i < edits.size(); ++i) {
        values[i] = edits[i]->Value();
        decimals[i] = PatternMaxDecimals(edits[i]->DisplayFormat().toStdString());
    }
    if (FileResult written = m_list.Write(name.toStdString(), values, decimals); !written) {
        ShowError(QString::fromStdString(written.Message));
        return;
    }
    LoadStoredList();
}

void TSelSampleDialog::RzBitBtn2Click() {
    TStoredSample values{};
    if (FileResult read = m_list.Read(RzComboBox1->currentText().toStdString(), values); !read) {
        ShowError(QString::fromStdString(read.Message));
        return;
    }
    const auto edits = Edits();
    for (std::size_t i = 0; i < edits.size(); ++i)
        edits[i]->SetValue(values[i]);
}

void TSelSampleDialog::RzBitBtn3Click() {
    const QString name = RzComboBox1->currentText();
    if (!AskYesNo(QString("Do you want to delete %1 sample?").arg(name)))
        return;
    if (FileResult removed = m_list.Remove(name.toStdString()); !removed) {
        ShowError(QString::fromStdString(removed.Message));
        return;
    }
    LoadStoredList();
}

void TSelSampleDialog::RzBitBtn4Click() {
    if (m_pSample)
        ApplyToSample(*m_pSample);
}

void TSelSampleDialog::RzBitBtn5Click() {
    RzBitBtn4Click();
    accept();
}

void TSelSampleDialog::RzComboBoxSampleChange(int index) {
    if (index < 0 || index >= static_cast<int>(m_global.Samples.size()))
        return;
    m_pSample = m_global.Samples[static_cast<std::size_t>(index)].get();
    ShowSample(*m_pSample);
}
