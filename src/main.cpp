#include "form1.h"
#include "playback.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    PreparePlaybackBackend();
    QApplication app(argc, argv);
    Form1 window;
    window.Form_Load();
    window.show();
    return app.exec();
}
