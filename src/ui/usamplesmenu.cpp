#include "ui/usamplesmenu.h"

#include "model/uglobal.h"
#include "ui/cmystringgrid.h"
#include "ui/uselsampledialog.h"

#include <QAction>
#include <QLocale>
#include <QMenu>
#include <QPointer>

QString SampleMenuCaption(int index, const CSample& sample, const QLocale& locale) {
    auto mm = [&locale](double value) { return FormatLocaleNumber(value, "0.00##", locale); };
    return QString("#%1 (%2x%3x%4@%5)")
        .arg(index)
        .arg(mm(sample.GetA(usMilli)), mm(sample.GetB(usMilli)), mm(sample.GetL(usMilli)),
             mm(sample.GetCurrent(usMilli)));
}

void ExecSelSampleDialog(QWidget* parent, GlobalValue& global) {
    TSelSampleDialog dialog(parent, global, global.Samples.empty() ? nullptr : global.Samples.front().get());
    dialog.exec();
}

void FillSamplesMenu(QMenu* menu, GlobalValue& global, QWidget* dialogParent,
                     std::function<void()> afterEdit) {
    menu->clear();
    const QLocale locale;
    for (std::size_t i = 0; i < global.Samples.size(); ++i) {
        CSample* sample = global.Samples[i].get();
        QAction* entry = menu->addAction(SampleMenuCaption(static_cast<int>(i), *sample, locale));
        entry->setObjectName(QString("SampleEntry%1").arg(i));
        entry->setCheckable(true);
        entry->setChecked(sample->GetUse());
        // The use flag is not part of the measurement file, so switching it leaves the
        // measurement saved; a running sequence sees it at its next choice of sample. The tree
        // shows the use in its marks, so it is told like after an edit.
        QObject::connect(entry, &QAction::toggled, menu, [sample, afterEdit](bool on) {
            sample->SetUse(on);
            if (afterEdit)
                afterEdit();
        });
    }
    menu->addSeparator();
    QAction* edit = menu->addAction("Edit property");
    edit->setObjectName("EditProperty");
    QPointer<QWidget> parent(dialogParent);
    QObject::connect(edit, &QAction::triggered, menu, [parent, &global, afterEdit] {
        ExecSelSampleDialog(parent, global);
        if (afterEdit)
            afterEdit();
    });
}

void InstallSamplesMenu(QMenu* menu, GlobalValue& global, QWidget* dialogParent,
                        std::function<void()> afterEdit) {
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, &global, dialogParent, afterEdit] {
        FillSamplesMenu(menu, global, dialogParent, afterEdit);
    });
    FillSamplesMenu(menu, global, dialogParent, afterEdit);
}
