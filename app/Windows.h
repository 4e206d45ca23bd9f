// The program's five windows, created hidden in their fixed order and kept
// for the life of the program: main window, batch window, about box,
// overwrite prompt, language chooser. The main window owns the other four.
#pragma once

#include <memory>

class TfrmAbout;
class TfrmMain;
class TfrmResizing;
class TfrmSobreescribir;
class TfrmTriarIdioma;

// Names the application ("Velmora") for titles and the settings store, and
// gives its windows the program's icon.
void initApplicationNames();

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

private:
    std::unique_ptr<TfrmMain> main_;
};
