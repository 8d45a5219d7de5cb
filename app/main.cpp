// The program entry: the application with its title, the main window, the event loop.
#include "app/application.h"
#include "app/main_window.h"
#include "directory/shared_folder.h"
#include "engine/file/path_util.h"

int main(int argc, char** argv) {
    abonex::shareNewFilesWithGroup(abonex::programFolder());
    abonex::Application app(argc, argv);
    abonex::TFMain window;
    if (window.startupFailed()) return 1;
    window.show();
    return app.exec();
}
