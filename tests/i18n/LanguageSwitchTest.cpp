// setLanguage: clamping, the "already current" case, and the walk over fake
// windows and controls.
#include "LanguageTestSupport.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// A control or window as the walk sees it; logs every read of its texts.
class FakeComponent : public TLanguageComponent {
public:
    FakeComponent(std::string name, unsigned classes, QString caption, std::vector<std::string>* log = nullptr)
        : caption_(std::move(caption)), name_(std::move(name)), classes_(classes), log_(log) {}

    unsigned ComponentClasses() const override { return classes_; }
    QString Caption() const override {
        if (log_) log_->push_back(name_);
        return caption_;
    }
    void SetCaption(const QString& c) override { caption_ = c; }
    QString Text() const override { return text_; }
    void SetText(const QString& t) override { text_ = t; }
    int PanelCount() const override { return int(panels_.size()); }
    QString PanelText(int i) const override { return panels_[size_t(i)]; }
    void SetPanelText(int i, const QString& t) override { panels_[size_t(i)] = t; }
    int ComponentCount() const override { return int(owned_.size()); }
    TLanguageComponent* Components(int i) const override { return owned_[size_t(i)].get(); }

    FakeComponent& Add(std::string name, unsigned classes, const char* caption) {
        owned_.push_back(std::make_unique<FakeComponent>(std::move(name), classes, u(caption), log_));
        return *owned_.back();
    }
    void AddNull() { owned_.push_back(nullptr); }

    QString caption_;
    QString text_;
    std::vector<QString> panels_;

private:
    std::string name_;
    unsigned classes_;
    std::vector<std::string>* log_;
    std::vector<std::unique_ptr<FakeComponent>> owned_;
};

// Registers windows for one test and removes them afterwards.
class SwitchTest : public LanguageTest {
protected:
    void TearDown() override {
        for (auto* w : registered_) unregisterApplicationComponent(w);
        LanguageTest::TearDown();
    }
    FakeComponent& Window(std::string name, unsigned classes, const char* caption) {
        windows_.push_back(std::make_unique<FakeComponent>(std::move(name), classes, u(caption), &log_));
        registerApplicationComponent(windows_.back().get());
        registered_.push_back(windows_.back().get());
        return *windows_.back();
    }
    std::vector<std::string> log_;
    std::vector<std::unique_ptr<FakeComponent>> windows_;
    std::vector<TLanguageComponent*> registered_;
};

class Clamp : public SwitchTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(Clamp, OutOfRangeMeansEnglish) {
    loadLanguages();
    setLanguage(GetParam());
    EXPECT_EQ(currentLanguage, langEnglish);
    EXPECT_EQ(translate(u("Cerrar")), u("Close"));
}

INSTANTIATE_TEST_SUITE_P(Numbers, Clamp, ::testing::Values(0, 4, -1, INT32_MIN, INT32_MAX));

TEST_F(SwitchTest, InRangeNumbersAreKept) {
    loadLanguages();
    for (int32_t lang : {langSpanish, langCatalan, langEnglish}) {
        setLanguage(lang);
        EXPECT_EQ(currentLanguage, lang);
    }
}

// The main window as laid out: key texts everywhere.
FakeComponent& AddMainWindow(SwitchTest&, FakeComponent& w) {
    w.Add("btnAnadir", ccButton, "A\xC3\xB1" "adir...");
    w.Add("btnQuitar", ccButton, "Quitar");
    w.Add("btnQuitarTodo", ccButton, "Quitar todo");
    w.Add("btnResize", ccButton, "\xC2\xA1Redimensiona!");
    w.Add("btnAbout", ccButton, "Acerca de...");
    w.Add("btnAyuda", ccButton, "Ayuda");
    w.Add("rb03mpx", ccRadioButton, "0,3 MPixels (640x480)");
    w.Add("rb111mpx", ccRadioButton, "11,1 MPixels (4064x2704)");
    w.Add("rbAmple", ccRadioButton, "Ancho:");
    w.Add("GroupBox1", ccGroupBox, "Im\xC3\xA1genes:");
    w.Add("Label4", ccLabel, "Carpeta de salida:");
    w.Add("lblWPixels", ccLabel, "Pixels");
    auto& width = w.Add("txtWidth", ccEdit, "");
    width.text_ = u("640");
    auto& folder = w.Add("txtOutDir", ccEdit, "");
    folder.text_ = u("/home/ana/Quitar");
    auto& named = w.Add("txtNamed", ccEdit, "");
    named.text_ = u("Quitar");
    auto& list = w.Add("lbFiles", 0, "Quitar");  // a list box: left alone
    (void)list;
    auto& status = w.Add("StatusBar1", ccStatusBar, "");
    status.panels_ = {u("Versi\xC3\xB3n 1.0"), u("/home/ana/fotos"), u("Ayuda")};
    return w;
}

TEST_F(SwitchTest, FirstSwitchTranslatesTheMainWindowIntoEnglish) {
    loadLanguages();
    auto& w = AddMainWindow(*this, Window("frmMain", ccForm, "Velmora"));
    setLanguage(selectedLanguage);  // 0 at start: English
    EXPECT_EQ(w.caption_, u("Velmora"));
    std::vector<QString> captions;
    for (int i = 0; i < w.ComponentCount(); ++i)
        captions.push_back(static_cast<FakeComponent*>(w.Components(i))->caption_);
    const std::vector<QString> want = {u("Add..."), u("Remove"), u("Remove all"), u("Resize!"), u("About..."),
                                       u("Help"), u("0.3 MPixels (640x480)"), u("11.1 MPixels (4064x2704)"),
                                       u("Width:"), u("Images:"), u("Output folder:"), u("Pixels"), u(""), u(""),
                                       u(""), u("Quitar"), u("")};
    EXPECT_EQ(captions, want);
    auto child = [&](int i) { return static_cast<FakeComponent*>(w.Components(i)); };
    EXPECT_EQ(child(12)->text_, u("640"));
    EXPECT_EQ(child(13)->text_, u("/home/ana/Quitar"));
    EXPECT_EQ(child(14)->text_, u("Remove"));
    EXPECT_EQ(child(16)->panels_, (std::vector<QString>{u("Version 1.0"), u("/home/ana/fotos"), u("Help")}));
}

TEST_F(SwitchTest, EnglishToCatalanAndBack) {
    loadLanguages();
    auto& w = Window("frmMain", ccForm, "Velmora");
    auto& b = w.Add("btnQuitarTodo", ccButton, "Quitar todo");
    auto& link = w.Add("LinkLabel1", ccLinkLabel,
                       "Website: <a href=\"https://www.velmora.org\">www.velmora.org</a>");
    setLanguage(langEnglish);
    EXPECT_EQ(b.caption_, u("Remove all"));
    EXPECT_EQ(link.caption_, u("Website: <a href=\"https://www.velmora.org/en\">www.velmora.org</a>"));
    setLanguage(langCatalan);
    EXPECT_EQ(b.caption_, u("Treure'ls tots"));
    EXPECT_EQ(link.caption_, u("Web: <a href=\"https://www.velmora.org\">www.velmora.org</a>"));
    setLanguage(langEnglish);
    EXPECT_EQ(b.caption_, u("Remove all"));
}

TEST_F(SwitchTest, TheLanguageAlreadyInForceChangesNothing) {
    loadLanguages();
    setLanguage(langEnglish);
    auto& w = Window("frmResizing", ccForm, "Redimensionando...");
    auto& b = w.Add("btnCancel", ccButton, "Cancelar");
    setLanguage(langEnglish);
    setLanguage(99);  // clamps to the same language
    EXPECT_EQ(w.caption_, u("Redimensionando..."));
    EXPECT_EQ(b.caption_, u("Cancelar"));
    EXPECT_TRUE(log_.empty());
}

TEST_F(SwitchTest, RunTimeTextsAreLeftAlone) {
    loadLanguages();
    auto& w = Window("frmResizing", ccForm, "Redimensionando...");
    auto& number = w.Add("lblImgNumber", ccLabel, "Redimensionando imagen 3 de 10");
    auto& question = w.Add("lblNombre", ccLabel, "La imagen de salida \"a.jpg\" ya existe.");
    auto& layout = w.Add("lblFilename", ccLabel, "Filename");
    setLanguage(langEnglish);
    EXPECT_EQ(w.caption_, u("Resizing..."));
    EXPECT_EQ(number.caption_, u("Redimensionando imagen 3 de 10"));
    EXPECT_EQ(question.caption_, u("La imagen de salida \"a.jpg\" ya existe."));
    EXPECT_EQ(layout.caption_, u("Filename"));
}

TEST_F(SwitchTest, OnlyDirectFormsGetTheirCaptionButAllOwnersAreWalked) {
    loadLanguages();
    auto& form = Window("frmAbout", ccForm, "Acerca de Velmora");
    auto& other = Window("hint", 0, "Cerrar");  // owned by the application, not a window of ours
    auto& inner = other.Add("btnClose", ccButton, "Cerrar");
    setLanguage(langEnglish);
    EXPECT_EQ(form.caption_, u("About Velmora"));
    EXPECT_EQ(other.caption_, u("Cerrar"));
    EXPECT_EQ(inner.caption_, u("Close"));
}

TEST_F(SwitchTest, WalksWindowsInCreationOrderAndSkipsRemovedOnes) {
    loadLanguages();
    auto& main = Window("frmMain", ccForm, "Velmora");
    main.Add("btnAnadir", ccButton, "A\xC3\xB1" "adir...");
    main.AddNull();
    main.Add("rbAlt", ccRadioButton, "Alto:");
    Window("frmResizing", ccForm, "Redimensionando...").Add("btnCancel", ccButton, "Cancelar");
    auto& gone = Window("frmGone", ccForm, "Cerrar");
    unregisterApplicationComponent(&gone);
    Window("frmSobreescribir", ccForm, "Sobreescribir imagen?").Add("btnNo", ccButton, "No");
    setLanguage(langEnglish);
    EXPECT_EQ(log_, (std::vector<std::string>{"frmMain", "btnAnadir", "rbAlt", "frmResizing", "btnCancel",
                                              "frmSobreescribir", "btnNo"}));
    EXPECT_EQ(gone.caption_, u("Cerrar"));
}

TEST_F(SwitchTest, ComponentPassingTwoTestsIsHandledForEach) {
    loadLanguages();
    auto& w = Window("frm", ccForm, "Velmora");
    auto& both = w.Add("labelButton", ccLabel | ccButton, "Quitar");
    setLanguage(langEnglish);
    // Read twice: once for each test it passes (the second lookup of
    // "Remove" in the key table misses and keeps it).
    EXPECT_EQ(std::count(log_.begin(), log_.end(), "labelButton"), 2);
    EXPECT_EQ(both.caption_, u("Remove"));
}

TEST_F(SwitchTest, WithoutASwitchWindowsKeepKeyTexts) {
    loadLanguages();
    auto& w = Window("frmMain", ccForm, "Velmora");
    auto& b = w.Add("btnQuitarTodo", ccButton, "Quitar todo");
    EXPECT_EQ(b.caption_, u("Quitar todo"));
    EXPECT_EQ(translate(u("\xC2\xA1Redimensiona!")), u("\xC2\xA1Redimensiona!"));
}

}  // namespace
