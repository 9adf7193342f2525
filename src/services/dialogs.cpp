// SPDX-License-Identifier: GPL-3.0-or-later

#include "services/dialogs.h"

#include "services/app_title.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QRadioButton>
#include <QRegularExpression>
#include <array>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// The units of the unit box after dBFS, in its order.
constexpr std::array AnalogUnits{AnalogUnit::DecibelsU, AnalogUnit::DecibelsV, AnalogUnit::Volts};

// Other Level… at a calibrated output: the level may also be typed as a meter there reads it. The
// box keeps the level it holds as the unit changes; a meter's reading is an RMS level.
QComboBox *AddUnitChoice(QFormLayout &form, const OutputCalibration &calibration, QDoubleSpinBox &level,
                         QRadioButton &peak, QRadioButton &rms)
{
    auto *unit = new QComboBox(form.parentWidget());
    unit->setObjectName(u"LevelUnitBox"_s);
    unit->addItems({u"dBFS"_s, u"dBu"_s, u"dBV"_s, u"V"_s});
    if (auto *label = qobject_cast<QLabel *>(form.labelForField(&level)))
        label->setText(u"&Level:"_s);
    form.insertRow(1, u"&Unit:"_s, unit);
    const double fullScaleDbu = calibration.fullScale.dBu();
    const auto reading = [fullScaleDbu](double decibelsFullScale, AnalogUnit in) {
        return AnalogLevel{fullScaleDbu + decibelsFullScale, AnalogUnit::DecibelsU}.in(in).value;
    };
    const double lowest = double(OutputLevel::LowestHundredths) / OutputLevel::HundredthsPerDecibel;
    QObject::connect(
        unit, &QComboBox::currentIndexChanged, &level, [=, &level, &peak, &rms, shown = 0](int index) mutable {
            const double decibels =
                shown == 0 ? level.value() : AnalogLevel{level.value(), AnalogUnits[shown - 1]}.dBu() - fullScaleDbu;
            shown = index;
            if (index == 0) {
                level.setDecimals(2);
                level.setRange(lowest, 0);
                level.setSuffix(u" dBFS"_s);
                level.setValue(decibels);
            } else {
                const AnalogUnit in = AnalogUnits[index - 1];
                // Volts to the microvolt: Level reaches 120 dB below full scale.
                level.setDecimals(in == AnalogUnit::Volts ? 6 : 2);
                level.setRange(reading(lowest, in), reading(0, in));
                level.setSuffix(in == AnalogUnit::Volts       ? u" V"_s
                                : in == AnalogUnit::DecibelsU ? u" dBu"_s
                                                              : u" dBV"_s);
                level.setValue(reading(decibels, in));
                rms.setChecked(true);
            }
            peak.setEnabled(index == 0);
        });
    return unit;
}

class QtDialogs final : public Dialogs
{
public:
    void message(QWidget *parent, const QString &text, const QString &detail) override
    {
        QMessageBox box(parent);
        box.setWindowTitle(ApplicationTitle());
        box.setIcon(QMessageBox::NoIcon);
        box.setStandardButtons(QMessageBox::Ok);
        // User text (file names, stored inputs) must never be taken for markup.
        box.setTextFormat(Qt::PlainText);
        box.setText(DisplayText(text));
        if (!detail.isEmpty())
            box.setDetailedText(DisplayText(detail));
        box.exec();
    }

    void errorReport(QWidget *parent, const QString &prompt) override
    {
        QMessageBox box(parent);
        box.setWindowTitle(ErrorReportCaption);
        box.setIcon(QMessageBox::Warning);
        box.setStandardButtons(QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.setText(DisplayText(prompt));
        box.exec();
    }

    QString saveFileName(QWidget *parent, const QString &filter) override
    {
        QFileDialog dialog(parent);
        dialog.setObjectName(u"CommonDialog1"_s);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // Qt's own dialog behaves the same on every desktop, and asks before it replaces a file.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setNameFilters(NameFilters(filter));
        // A name typed without an extension gets the chosen type's.
        const auto followType = [&dialog](const QString &nameFilter) {
            static const QRegularExpression firstPattern(uR"(\(\*\.(\w+))"_s);
            dialog.setDefaultSuffix(firstPattern.match(nameFilter).captured(1));
        };
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, followType);
        followType(dialog.selectedNameFilter());
        dialog.selectFile(QString());
        if (dialog.exec() != QDialog::Accepted)
            return {};
        const QStringList files = dialog.selectedFiles();
        return files.isEmpty() ? QString() : files.constFirst();
    }

    QString folderName(QWidget *parent, const QString &caption, const QString &startPath) override
    {
        QFileDialog dialog(parent, caption, startPath);
        dialog.setObjectName(u"CommonDialog3"_s);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        if (dialog.exec() != QDialog::Accepted)
            return {};
        const QStringList folders = dialog.selectedFiles();
        return folders.isEmpty() ? QString() : folders.constFirst();
    }

    QString openFileName(QWidget *parent, const QString &caption, const QString &startPath) override
    {
        QFileDialog dialog(parent, caption);
        dialog.setObjectName(u"CommonDialog2"_s);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        if (QFileInfo(startPath).isDir())
            dialog.setDirectory(startPath);
        else if (!startPath.isEmpty())
            dialog.selectFile(startPath);
        if (dialog.exec() != QDialog::Accepted)
            return {};
        const QStringList files = dialog.selectedFiles();
        return files.isEmpty() ? QString() : files.constFirst();
    }

    std::optional<QString> textInput(QWidget *parent, const QString &prompt) override
    {
        QInputDialog dialog(parent);
        dialog.setWindowTitle(ApplicationTitle());
        dialog.setLabelText(DisplayText(prompt));
        dialog.setInputMode(QInputDialog::TextInput);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.textValue();
    }

    bool question(QWidget *parent, const QString &text) override
    {
        QMessageBox box(parent);
        box.setWindowTitle(ApplicationTitle());
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        box.setTextFormat(Qt::PlainText);
        box.setText(DisplayText(text));
        return box.exec() == QMessageBox::Yes;
    }

    std::optional<TypedLevel> levelInput(QWidget *parent, const TypedLevel &current,
                                         const std::optional<OutputCalibration> &calibration) override
    {
        QDialog dialog(parent);
        dialog.setObjectName(u"LevelDialog"_s);
        dialog.setWindowTitle(ApplicationTitle());
        // The box holds only levels of the range, to the hundredth of a decibel.
        auto *level = new QDoubleSpinBox(&dialog);
        level->setObjectName(u"LevelBox"_s);
        level->setDecimals(2);
        level->setRange(double(OutputLevel::LowestHundredths) / OutputLevel::HundredthsPerDecibel, 0);
        level->setSuffix(u" dBFS"_s);
        level->setValue(current.level.decibels());
        auto *peak = new QRadioButton(u"&Peak"_s, &dialog);
        auto *rms = new QRadioButton(u"&RMS (AES17)"_s, &dialog);
        (current.rms ? rms : peak)->setChecked(true);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        auto *form = new QFormLayout(&dialog);
        form->addRow(u"&Level (0 to -120):"_s, level);
        form->addRow(u"Measured by:"_s, peak);
        form->addRow(QString(), rms);
        QComboBox *unit = calibration ? AddUnitChoice(*form, *calibration, *level, *peak, *rms) : nullptr;
        form->addRow(buttons);
        level->selectAll();
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        if (unit && unit->currentIndex() > 0)
            return TypedLevel{current.level, true, AnalogLevel{level->value(), AnalogUnits[unit->currentIndex() - 1]}};
        const auto hundredths = int(std::lround(level->value() * OutputLevel::HundredthsPerDecibel));
        return TypedLevel{OutputLevel::FromHundredths(hundredths).value_or(current.level), rms->isChecked(), {}};
    }
};

QtDialogs qtDialogs;
Dialogs *current = nullptr;

} // namespace

Dialogs &CurrentDialogs()
{
    return current ? *current : qtDialogs;
}

void InstallDialogs(Dialogs *dialogs)
{
    current = dialogs;
}

QString DisplayText(const QString &text)
{
    QString shown = text;
    shown.replace(u"\r\n"_s, u"\n"_s);
    shown.replace(u'\r', u'\n');
    return shown;
}

QStringList NameFilters(const QString &filter)
{
    if (!filter.contains(u'|'))
        return filter.split(u";;"_s, Qt::SkipEmptyParts);
    QStringList filters;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString &description = parts.at(i);
        QString patterns = parts.at(i + 1);
        patterns.replace(u';', u' ');
        if (description.isEmpty() && patterns.isEmpty())
            continue;
        // Qt reads the patterns from the closing parentheses; add them when the description lacks them.
        if (patterns.isEmpty() || description.endsWith(u'(' + patterns + u')'))
            filters.append(description);
        else
            filters.append(description + u" ("_s + patterns + u')');
    }
    return filters;
}
