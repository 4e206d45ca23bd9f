#include "app/TForm.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent) { setSizeGripEnabled(false); }

int TStatusBar::AddPanel(const QString& text) {
    auto* panel = new QLabel(text, this);
    addWidget(panel, 1);
    panels_.push_back(panel);
    return int(panels_.size()) - 1;
}

QString TStatusBar::PanelText(int index) const {
    return index >= 0 && index < PanelCount() ? panels_[size_t(index)]->text() : QString();
}

void TStatusBar::SetPanelText(int index, const QString& text) {
    if (index >= 0 && index < PanelCount())
        panels_[size_t(index)]->setText(text);
}

unsigned componentClassesOf(const QWidget* control) {
    if (qobject_cast<const QLineEdit*>(control))
        return ccEdit;
    if (qobject_cast<const QRadioButton*>(control))
        return ccRadioButton;
    if (qobject_cast<const QPushButton*>(control))
        return ccButton;
    if (qobject_cast<const QGroupBox*>(control))
        return ccGroupBox;
    if (dynamic_cast<const TStatusBar*>(control))
        return ccStatusBar;
    if (qobject_cast<const QLabel*>(control))
        return ccLabel;
    return 0;
}

QString TControlAdapter::Caption() const {
    if (auto* label = qobject_cast<QLabel*>(control_))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(control_))
        return button->text();
    if (auto* box = qobject_cast<QGroupBox*>(control_))
        return box->title();
    return {};
}

void TControlAdapter::SetCaption(const QString& caption) {
    if (auto* label = qobject_cast<QLabel*>(control_))
        label->setText(caption);
    else if (auto* button = qobject_cast<QAbstractButton*>(control_))
        button->setText(caption);
    else if (auto* box = qobject_cast<QGroupBox*>(control_))
        box->setTitle(caption);
}

QString TControlAdapter::Text() const {
    auto* edit = qobject_cast<QLineEdit*>(control_);
    return edit ? edit->text() : QString();
}

void TControlAdapter::SetText(const QString& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(control_))
        edit->setText(text);
}

int TControlAdapter::PanelCount() const {
    auto* bar = dynamic_cast<TStatusBar*>(control_);
    return bar ? bar->PanelCount() : 0;
}

QString TControlAdapter::PanelText(int index) const {
    auto* bar = dynamic_cast<TStatusBar*>(control_);
    return bar ? bar->PanelText(index) : QString();
}

void TControlAdapter::SetPanelText(int index, const QString& text) {
    if (auto* bar = dynamic_cast<TStatusBar*>(control_))
        bar->SetPanelText(index, text);
}

void nameControl(std::vector<std::unique_ptr<TLanguageComponent>>& texts, QWidget* control, const QString& name,
                 const QString& description) {
    control->setAccessibleName(name);
    texts.push_back(std::make_unique<TTextAdapter>([control] { return control->accessibleName(); },
                                                   [control](const QString& t) { control->setAccessibleName(t); }));
    if (description.isEmpty()) return;
    control->setAccessibleDescription(description);
    control->setToolTip(description);
    texts.push_back(std::make_unique<TTextAdapter>([control] { return control->accessibleDescription(); },
                                                   [control](const QString& t) {
                                                       control->setAccessibleDescription(t);
                                                       control->setToolTip(t);
                                                   }));
}

void translateItems(std::vector<std::unique_ptr<TLanguageComponent>>& texts, QComboBox* combo) {
    for (int i = 0; i < combo->count(); ++i) {
        texts.push_back(std::make_unique<TTextAdapter>([combo, i] { return combo->itemText(i); },
                                                       [combo, i](const QString& t) { combo->setItemText(i, t); }));
    }
}
