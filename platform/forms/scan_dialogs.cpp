// The real scanner dialogs: the settings of a device grouped as the device groups them, each
// change handed to the device at once so that the dialog shows what the device made of it, and a
// list of sources to choose from.
#include "platform/forms/detail/scan_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/forms/detail/qt_bridge.h"

namespace FormsDetail {

namespace {

QString NumberText(const TScanSetting& setting, double value)
{
    if (setting.Kind == sskInteger) {
        return QString::number(static_cast<qlonglong>(value));
    }
    return QString::number(value, 'g', 12);
}

QString SuffixOf(const TScanSetting& setting)
{
    return setting.Unit.empty() ? QString() : QStringLiteral(" ") + ToQ(setting.Unit);
}

int DecimalsFor(double step)
{
    if (step <= 0) {
        return 2;
    }
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 4);
}

// A list of choices as wide as the dialog lets it be: a long entry widens its popup, not the dialog.
QComboBox* NewCombo(QWidget* parent)
{
    auto* combo = new QComboBox(parent);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(16);
    return combo;
}

class TScanSettingsDialog : public QDialog
{
public:
    TScanSettingsDialog(TScanDialogRequest& request, QWidget* parent) : QDialog(parent), FRequest(request)
    {
        setWindowTitle(ToQ(request.Title));
        auto* layout = new QVBoxLayout(this);
        auto* device = new QLabel(ToQ(request.Device), this);
        QFont font = device->font();
        font.setBold(true);
        device->setFont(font);
        layout->addWidget(device);
        FScroll = new QScrollArea(this);
        FScroll->setWidgetResizable(true);
        FScroll->setFrameShape(QFrame::NoFrame);
        layout->addWidget(FScroll, 1);
        auto* buttons = new QDialogButtonBox(this);
        QPushButton* scan = buttons->addButton(QStringLiteral("Scan"), QDialogButtonBox::AcceptRole);
        buttons->addButton(QDialogButtonBox::Cancel);
        scan->setDefault(true);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        layout->addWidget(buttons);
        Build();
        FitToSettings(false);
    }

private:
    // Tall enough to show every setting without scrolling when the screen has room for them, at
    // most nine tenths of its height; never narrower than the editors need. After a change that
    // brought more settings the dialog only grows, keeping a size the user chose.
    void FitToSettings(bool growOnly)
    {
        const QSize content = FScroll->widget()->sizeHint();
        // What the dialog needs around its settings, measured once: while the dialog is shown its
        // own size hint lags behind a rebuild.
        if (!FChrome.isValid()) {
            FChrome = sizeHint() - FScroll->sizeHint();
        }
        const QSize chrome = FChrome;
        int width = std::max(480, content.width() + chrome.width() +
                                      FScroll->verticalScrollBar()->sizeHint().width());
        int height = std::max(560, content.height() + chrome.height());
        if (const QScreen* screen = this->screen(); screen != nullptr) {
            const QRect available = screen->availableGeometry();
            width = std::min(width, available.width() * 9 / 10);
            height = std::min(height, available.height() * 9 / 10);
        }
        if (growOnly) {
            width = std::max(width, this->width());
            height = std::max(height, this->height());
        }
        resize(width, height);
        // A dialog that grew while shown is moved back onto the screen.
        if (const QScreen* screen = this->screen(); screen != nullptr && isVisible()) {
            const QRect available = screen->availableGeometry();
            const QRect frame = frameGeometry();
            const int x =
                std::max(available.left(), std::min(frame.left(), available.right() + 1 - frame.width()));
            const int y =
                std::max(available.top(), std::min(frame.top(), available.bottom() + 1 - frame.height()));
            if (x != frame.left() || y != frame.top()) {
                move(x, y);
            }
        }
    }

    // The widgets are made anew after every change, since a change can switch others on or off.
    void Build()
    {
        const int scrolled = FScroll->verticalScrollBar()->value();
        auto* content = new QWidget;
        auto* column = new QVBoxLayout(content);
        std::vector<std::pair<std::string, QFormLayout*>> groups;
        std::vector<QLabel*> labels;
        for (size_t i = 0; i < FRequest.Settings.size(); ++i) {
            const TScanSetting& setting = FRequest.Settings[i];
            auto found = std::find_if(groups.begin(), groups.end(),
                                      [&](const auto& group) { return group.first == setting.Group; });
            if (found == groups.end()) {
                auto* box = new QGroupBox(ToQ(setting.Group), content);
                auto* form = new QFormLayout(box);
                form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
                column->addWidget(box);
                groups.emplace_back(setting.Group, form);
                found = groups.end() - 1;
            }
            QWidget* editor = MakeEditor(i, content);
            editor->setEnabled(!setting.ReadOnly);
            editor->setToolTip(ToQ(setting.Description));
            auto* label = new QLabel(ToQ(setting.Title.empty() ? setting.Name : setting.Title), content);
            label->setToolTip(ToQ(setting.Description));
            labels.push_back(label);
            found->second->addRow(label, editor);
        }
        // One label column for every group, so that the editors line up down the dialog.
        int labelWidth = 0;
        for (QLabel* label : labels) {
            labelWidth = std::max(labelWidth, label->sizeHint().width());
        }
        for (QLabel* label : labels) {
            label->setMinimumWidth(labelWidth);
        }
        column->addStretch(1);
        FScroll->setWidget(content);
        FScroll->verticalScrollBar()->setValue(scrolled);
    }

    QWidget* MakeEditor(size_t index, QWidget* parent)
    {
        const TScanSetting& setting = FRequest.Settings[index];
        if (setting.Kind == sskSwitch) {
            auto* box = new QCheckBox(parent);
            box->setChecked(setting.Number != 0);
            connect(box, &QCheckBox::toggled, this, [this, index](bool on) {
                Change(index, [on](TScanSetting& s) { s.Number = on ? 1 : 0; });
            });
            return box;
        }
        if (setting.Kind == sskText) {
            if (setting.Texts.empty()) {
                auto* edit = new QLineEdit(ToQ(setting.Text), parent);
                edit->setCursorPosition(0); // a long text shows its start
                connect(edit, &QLineEdit::editingFinished, this, [this, index, edit] {
                    const std::string text = FromQ(edit->text());
                    if (text != FRequest.Settings[index].Text) {
                        Change(index, [text](TScanSetting& s) { s.Text = text; });
                    }
                });
                return edit;
            }
            auto* combo = NewCombo(parent);
            for (const std::string& text : setting.Texts) {
                combo->addItem(ToQ(text));
            }
            const auto at = std::find(setting.Texts.begin(), setting.Texts.end(), setting.Text);
            if (at == setting.Texts.end()) {
                combo->insertItem(0, ToQ(setting.Text));
                combo->setCurrentIndex(0);
            } else {
                combo->setCurrentIndex(static_cast<int>(at - setting.Texts.begin()));
            }
            connect(combo, &QComboBox::textActivated, this, [this, index](const QString& text) {
                const std::string value = FromQ(text);
                Change(index, [value](TScanSetting& s) { s.Text = value; });
            });
            return combo;
        }
        if (!setting.Numbers.empty()) {
            auto* combo = NewCombo(parent);
            int current = -1;
            for (size_t n = 0; n < setting.Numbers.size(); ++n) {
                combo->addItem(NumberText(setting, setting.Numbers[n]) + SuffixOf(setting));
                if (setting.Numbers[n] == setting.Number) {
                    current = static_cast<int>(n);
                }
            }
            combo->setCurrentIndex(current);
            connect(combo, &QComboBox::activated, this, [this, index](int chosen) {
                const double value = FRequest.Settings[index].Numbers[size_t(chosen)];
                Change(index, [value](TScanSetting& s) { s.Number = value; });
            });
            return combo;
        }
        if (setting.Kind == sskInteger) {
            auto* spin = new QSpinBox(parent);
            const double low = setting.HasRange ? setting.Min : INT_MIN;
            const double high = setting.HasRange ? setting.Max : INT_MAX;
            spin->setRange(static_cast<int>(std::max<double>(low, INT_MIN)),
                           static_cast<int>(std::min<double>(high, INT_MAX)));
            spin->setSingleStep(std::max(1, static_cast<int>(setting.Step)));
            spin->setSuffix(SuffixOf(setting));
            spin->setValue(static_cast<int>(setting.Number));
            spin->setKeyboardTracking(false);
            connect(spin, &QSpinBox::valueChanged, this, [this, index](int value) {
                Change(index, [value](TScanSetting& s) { s.Number = value; });
            });
            return spin;
        }
        auto* spin = new QDoubleSpinBox(parent);
        spin->setDecimals(DecimalsFor(setting.Step));
        spin->setRange(setting.HasRange ? setting.Min : -1e9, setting.HasRange ? setting.Max : 1e9);
        spin->setSingleStep(setting.Step > 0 ? setting.Step : 1);
        spin->setSuffix(SuffixOf(setting));
        spin->setValue(setting.Number);
        spin->setKeyboardTracking(false);
        connect(spin, &QDoubleSpinBox::valueChanged, this, [this, index](double value) {
            Change(index, [value](TScanSetting& s) { s.Number = value; });
        });
        return spin;
    }

    template <typename TEdit> void Change(size_t index, TEdit edit)
    {
        if (index >= FRequest.Settings.size()) {
            return;
        }
        edit(FRequest.Settings[index]);
        if (FRequest.Apply) {
            FRequest.Settings = FRequest.Apply(FRequest.Settings[index]);
        }
        // Not from inside the signal of a widget that the rebuild deletes.
        QTimer::singleShot(0, this, [this] {
            Build();
            FitToSettings(true);
        });
    }

    TScanDialogRequest& FRequest;
    QScrollArea* FScroll = nullptr;
    QSize FChrome;
};

} // namespace

bool ShowScanSettingsDialog(TScanDialogRequest& Request)
{
    EnsureQtApplication();
    TScanSettingsDialog dialog(Request, DialogParent());
    return dialog.exec() == QDialog::Accepted;
}

bool ShowScanSourceDialog(const std::string& Title, const std::vector<std::string>& Sources, int32_t& Index)
{
    EnsureQtApplication();
    QDialog dialog(DialogParent());
    dialog.setWindowTitle(ToQ(Title));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Sources:"), &dialog));
    auto* list = new QListWidget(&dialog);
    for (const std::string& source : Sources) {
        list->addItem(ToQ(source));
    }
    if (Index >= 0 && size_t(Index) < Sources.size()) {
        list->setCurrentRow(Index);
    } else if (!Sources.empty()) {
        list->setCurrentRow(0);
    }
    layout->addWidget(list, 1);
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* select = buttons->addButton(QStringLiteral("Select"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    select->setDefault(true);
    select->setEnabled(!Sources.empty());
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.resize(360, 260);
    if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0) {
        return false;
    }
    Index = list->currentRow();
    return true;
}

} // namespace FormsDetail
