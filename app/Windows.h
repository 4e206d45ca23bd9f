// The program's windows, created hidden in their fixed order and kept for the
// life of the program: main window, batch window, about box, overwrite
// prompt, language chooser, then the options and results windows. The main
// window owns the others.
#pragma once

#include <QStringList>

#include <memory>

class TfrmAbout;
class TfrmMain;
class TfrmMoreOptions;
class TfrmResizing;
class TfrmResults;
class TfrmSobreescribir;
class TfrmTriarIdioma;

// Names the application ("Velmora") for titles and the settings store, and
// gives its windows the program's icon.
void initApplicationNames();

// The paths given to the program (argv[1..]), as the engine holds names:
// "--" is skipped, file: URLs become their local paths.
QStringList startPathsFromArguments(int argc, char** argv);

class TVelmoraWindows {
public:
    TVelmoraWindows();
    ~TVelmoraWindows();
    TVelmoraWindows(const TVelmoraWindows&) = delete;
    TVelmoraWindows& operator=(const TVelmoraWindows&) = delete;

    TfrmMain* frmMain;
    TfrmResizing* frmResizing;
    TfrmAbout* frmAbout;
    TfrmSobreescribir* frmSobreescribir;
    TfrmTriarIdioma* frmTriarIdioma;
    TfrmMoreOptions* frmMoreOptions;
    TfrmResults* frmResults;

private:
    std::unique_ptr<TfrmMain> main_;
};
