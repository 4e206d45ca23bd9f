// The windows as the language switch sees them.
//
// Every window derives from TForm<Base>: it registers itself with the
// application's component list when created (so creation order is walk
// order), and lists the controls it owns, each behind a small adapter that
// gives the walk the control's class bits and its text.
#pragma once

#include "i18n/uIdiomes.h"

#include <QLabel>
#include <QStatusBar>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QComboBox;

// A status bar made of text panels, left to right; the last one stretches.
class TStatusBar : public QStatusBar {
public:
    explicit TStatusBar(QWidget* parent = nullptr);
    // Appends a panel showing `text`; returns its index.
    int AddPanel(const QString& text);
    int PanelCount() const { return int(panels_.size()); }
    QString PanelText(int index) const;
    void SetPanelText(int index, const QString& text);

private:
    std::vector<QLabel*> panels_;
};

// The class bits the walk applies to a control: a line edit is an edit, a
// push or radio button a button of its kind, a group box, a status bar, a
// label. Anything else (lists, combo boxes, progress bars) gets 0.
unsigned componentClassesOf(const QWidget* control);

// One control seen through TLanguageComponent.
class TControlAdapter : public TLanguageComponent {
public:
    TControlAdapter(QWidget* control, unsigned classes) : control_(control), classes_(classes) {}

    unsigned ComponentClasses() const override { return classes_; }
    QString Caption() const override;
    void SetCaption(const QString& caption) override;
    QString Text() const override;
    void SetText(const QString& text) override;
    int PanelCount() const override;
    QString PanelText(int index) const override;
    void SetPanelText(int index, const QString& text) override;

    QWidget* Control() const { return control_; }

private:
    QWidget* control_;
    unsigned classes_;
};

// A text of a control other than its caption (its accessible name or
// description, a list item): the walk translates it as a label's caption.
class TTextAdapter : public TLanguageComponent {
public:
    TTextAdapter(std::function<QString()> get, std::function<void(const QString&)> set)
        : get_(std::move(get)), set_(std::move(set)) {}
    unsigned ComponentClasses() const override { return ccLabel; }
    QString Caption() const override { return get_(); }
    void SetCaption(const QString& caption) override { set_(caption); }

private:
    std::function<QString()> get_;
    std::function<void(const QString&)> set_;
};

// Gives a control its accessible name (and a description when one is given),
// in the key language; the walk keeps both in the language in force.
void nameControl(std::vector<std::unique_ptr<TLanguageComponent>>& texts, QWidget* control, const QString& name,
                 const QString& description = {});
// Puts a combo box's item texts under the walk.
void translateItems(std::vector<std::unique_ptr<TLanguageComponent>>& texts, QComboBox* combo);

template <class Base>
class TForm : public Base, public TLanguageComponent {
public:
    explicit TForm(QWidget* parent = nullptr, Qt::WindowFlags flags = {}) : Base(parent, flags) {
        registerApplicationComponent(this);
    }
    ~TForm() override { unregisterApplicationComponent(this); }

    unsigned ComponentClasses() const override { return ccForm; }
    QString Caption() const override { return this->windowTitle(); }
    void SetCaption(const QString& caption) override { this->setWindowTitle(caption); }
    int ComponentCount() const override { return int(owned_.size() + texts_.size()); }
    TLanguageComponent* Components(int index) const override {
        if (index >= 0 && index < int(owned_.size())) return owned_[size_t(index)].get();
        index -= int(owned_.size());
        return index >= 0 && index < int(texts_.size()) ? texts_[size_t(index)].get() : nullptr;
    }

protected:
    // Adds a control to the window's owned list (after the ones owned so
    // far) and returns it. `classes` overrides the bits guessed from its type
    // (a link label, for instance).
    template <class W>
    W* own(W* control, unsigned classes = ~0u) {
        owned_.push_back(std::make_unique<TControlAdapter>(
            control, classes == ~0u ? componentClassesOf(control) : classes));
        return control;
    }

    // Accessible names and descriptions, list items: walked after the
    // owned controls.
    void name(QWidget* control, const QString& text, const QString& description = {}) {
        nameControl(texts_, control, text, description);
    }
    void items(QComboBox* combo) { translateItems(texts_, combo); }
    void ownText(std::function<QString()> get, std::function<void(const QString&)> set) {
        texts_.push_back(std::make_unique<TTextAdapter>(std::move(get), std::move(set)));
    }

private:
    std::vector<std::unique_ptr<TControlAdapter>> owned_;
    std::vector<std::unique_ptr<TLanguageComponent>> texts_;
};
