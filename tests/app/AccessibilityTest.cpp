// The windows as a screen reader meets them: every control has a name of its
// own in the language in force, and the keys of the main window.
#include "AppTestSupport.h"

#include "app/fAbout.h"
#include "app/fMoreOptions.h"
#include "app/fResizing.h"
#include "app/fResults.h"
#include "app/fSobreescribir.h"
#include "app/fTriarIdioma.h"

#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using apptest::whileModal;

namespace {

QString bare(QString text) {
    text.remove(QLatin1Char('&'));
    while (text.endsWith(QLatin1Char(':'))) text.chop(1);
    return text.trimmed();
}

// Every control of the window a user can reach, read through QAccessible:
// "<object class>: <problem>" for each one without a name of its own.
QStringList unnamedControls(QWidget* window) {
    static const QSet<QAccessible::Role> controls = {
        QAccessible::PushButton, QAccessible::CheckBox, QAccessible::RadioButton,
        QAccessible::ComboBox,   QAccessible::SpinBox,  QAccessible::EditableText,
        QAccessible::List,       QAccessible::Table,    QAccessible::ProgressBar};
    QStringList problems;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->window() != window || w->isHidden() || w->objectName().startsWith(QLatin1String("qt_"))) continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        if (!a || !controls.contains(a->role())) continue;
        const QString name = a->text(QAccessible::Name);
        const QString what = QString::fromLatin1(w->metaObject()->className()) + ": ";
        if (bare(name).isEmpty()) problems << what + "no name";
        for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget()) {
            if (auto* box = qobject_cast<QGroupBox*>(p); box && box->title().remove('&') == name)
                problems << what + "named after its group box " + name;
        }
    }
    return problems;
}

class AccessibilityTest : public apptest::WindowsTest {
protected:
    std::vector<QWidget*> everyWindow() {
        TVelmoraWindows& w = windows();
        return {w.frmMain,        w.frmResizing,    w.frmAbout,  w.frmSobreescribir,
                w.frmTriarIdioma, w.frmMoreOptions, w.frmResults};
    }
    QString nameOf(QWidget* w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name); }
};

TEST_F(AccessibilityTest, EveryControlHasANameOfItsOwnInEveryLanguage) {
    start();
    windows().frmResults->Fill({{{"/a/x.jpg", TResultStatus::Failed, "bad"}}, 0, 0, 1, 0, "/a"});
    for (int item : {0, 1, 2}) {
        whileModal(
            [&](QWidget* w) {
                if (auto* chooser = dynamic_cast<TfrmTriarIdioma*>(w)) {
                    chooser->cbIdioma->setCurrentIndex(item);
                    chooser->btnOk->click();
                }
            },
            [&] { main().btnLenguaje->click(); });
        for (QWidget* window : everyWindow())
            EXPECT_EQ(unnamedControls(window), QStringList()) << window->windowTitle().toStdString();
    }
    // Back in Catalan (the last choice), the names follow the language.
    EXPECT_EQ(nameOf(main().txtWidth), QString::fromUtf8("Amplada en píxels"));
    EXPECT_EQ(nameOf(main().ListBox1), "Imatges");
}

TEST_F(AccessibilityTest, KeysRemoveSelectAllAndOpenHelp) {
    start();
    QList<QUrl> opened;
    const auto savedOpener = desktopOpener;
    desktopOpener = [&](const QUrl& url) {
        opened << url;
        return false;
    };
    main().AddFiles({"/p/1.jpg", "/p/2.jpg", "/p/3.jpg"});
    QApplication::setActiveWindow(&main());
    main().ListBox1->setFocus();
    QTest::keyClick(main().ListBox1, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(main().ListBox1->selectedItems().size(), 3);
    main().ListBox1->item(0)->setSelected(false);
    QTest::keyClick(main().ListBox1, Qt::Key_Delete);
    EXPECT_EQ(main().FileList, QStringList({"/p/1.jpg"}));

    // Help on a desktop that cannot open it names the guide's full path.
    QFile guide(main().userGuidePath());
    const bool made = !guide.exists();
    if (made) {
        ASSERT_TRUE(guide.open(QIODevice::WriteOnly));
        guide.close();
    }
    const QStringList messages = apptest::messagesWhile([&] { QTest::keyClick(main().ListBox1, Qt::Key_F1); });
    if (made) guide.remove();
    EXPECT_EQ(opened, QList<QUrl>({QUrl::fromLocalFile(main().userGuidePath())}));
    EXPECT_EQ(messages, QStringList({"No program on this desktop opens the user guide. Open it by hand: " +
                                     main().userGuidePath()}));
    desktopOpener = savedOpener;
}

}  // namespace
