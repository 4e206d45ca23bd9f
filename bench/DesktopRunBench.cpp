// velmora-bench-desktop OUTDIR PICTURE... | --folder FOLDER
//
// The desktop program's windows, offscreen: a run of PICTUREs into OUTDIR
// (width 640, the pictures-at-once count from VELMORA_JOBS or every core)
// with the progress window asked to repaint every 20 ms, printing the run's
// time and the longest gap between two of its repaints; or the time taken to
// add FOLDER (with its subfolders) to the list and the longest gap between
// two passes of the event loop while adding it.
#include "app/Windows.h"
#include "app/fMain.h"
#include "app/fResizing.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

struct TGapWatch : QObject {
    QElapsedTimer clock;
    qint64 last = -1;
    qint64 longest = 0;
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) tick();
        return false;
    }
    void tick() {
        const qint64 now = clock.elapsed();
        if (last >= 0) longest = std::max(longest, now - last);
        last = now;
        ++count;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: velmora-bench-desktop OUTDIR PICTURE... | --folder FOLDER\n");
        return 2;
    }
    initApplicationNames();
    TVelmoraWindows windows;
    TfrmMain& main = *windows.frmMain;
    main.show();
    QApplication::processEvents();

    TGapWatch watch;
    watch.clock.start();
    if (args[1] == QLatin1String("--folder")) {
        main.Options.subfolders = true;
        QTimer pass;
        QObject::connect(&pass, &QTimer::timeout, [&] { watch.tick(); });
        pass.start(0);
        watch.tick();
        QElapsedTimer t;
        t.start();
        main.AddPaths({args[2]});
        const qint64 ms = t.elapsed();
        QApplication::processEvents();
        watch.tick();
        std::printf("added %lld pictures in %lld ms; longest time without an event pass %lld ms\n",
                    static_cast<long long>(main.FileList.size()), static_cast<long long>(ms),
                    static_cast<long long>(watch.longest));
        return 0;
    }

    main.AddFiles(args.mid(2));
    main.SetOutputFolder(args[1]);
    main.rbAmple->click();
    main.txtWidth->setText(QStringLiteral("640"));
    if (const char* jobs = std::getenv("VELMORA_JOBS")) main.Options.jobs = std::atoi(jobs);
    TfrmResizing& batch = *windows.frmResizing;
    batch.installEventFilter(&watch);
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, [&] { batch.update(); });
    repaint.start(20);
    // VELMORA_CANCEL_MS: Cancel is pressed that long after the start.
    qint64 cancelledAt = -1;
    QTimer cancel;
    cancel.setSingleShot(true);
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        cancelledAt = watch.clock.elapsed();
        batch.btnCancelClick();
    });
    if (const char* ms = std::getenv("VELMORA_CANCEL_MS")) cancel.start(std::atoi(ms));
    QElapsedTimer t;
    t.start();
    main.btnResizeClick();
    std::printf("%lld pictures, %d at once: %lld ms; %d repaints, longest gap %lld ms\n",
                static_cast<long long>(main.FileList.size()), main.Options.jobs, static_cast<long long>(t.elapsed()),
                watch.count, static_cast<long long>(watch.longest));
    if (cancelledAt >= 0)
        std::printf("cancelled: the run ended %lld ms after Cancel\n",
                    static_cast<long long>(watch.clock.elapsed() - cancelledAt));
    return 0;
}
