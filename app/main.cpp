// The program entry: the application with its title, the main window, the event loop. Without
// arguments the window works on the program's own folder; see start_request.h for the one
// request the desktop search makes, command_line.h for --help and --version, and
// index_rebuild.h for the closing rebuild the window hands to a process of its own.
#include <QString>
#include <QStringList>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "app/start_request.h"
#include "directory/index_rebuild.h"
#include "directory/shared_folder.h"
#include "engine/file/path_util.h"
#include "ui/local_path.h"

int main(int argc, char** argv) {
    if (argc >= 2 && argv[1] == abonex::kRebuildIndexesArgument) {
        const std::vector<std::string> request(argv + 2, argv + argc);
        abonex::shareNewFilesWithGroup(request.empty() ? std::string() : request.front());
        std::string errors;
        const int status = abonex::runRebuildRequest(request, errors);
        std::fputs(errors.c_str(), stderr);
        return status;
    }
    // Answered before the application exists: it needs a display, a text does not.
    if (const auto status = abonex::answerCommandLine(argc, argv, std::cout)) return *status;
    const auto refuse = [](const QString& error) {
        std::fprintf(stderr, "abonex: %s\nusage: abonex [--table TABLE [--record N]]\n",
                     error.toLocal8Bit().constData());
        return 2;
    };
    QStringList words;
    for (int i = 1; i < argc; ++i) words << QString::fromLocal8Bit(argv[i]);
    QString error;
    std::optional<abonex::StartRequest> request;
    // Understood before the application exists where they can be: a mistyped command line
    // gets its usage text without a display.
    if (!abonex::mayHoldToolkitOptions(words)) {
        request = abonex::parseStartArguments(words, &error);
        if (!request) return refuse(error);
        if (const QString problem = abonex::startFolderProblem(*request); !problem.isEmpty()) {
            return refuse(problem);
        }
    }
    abonex::Application app(argc, argv);
    if (!request) {
        request = abonex::parseStartArguments(QCoreApplication::arguments().mid(1), &error);
        if (!request) return refuse(error);
        if (const QString problem = abonex::startFolderProblem(*request); !problem.isEmpty()) {
            return refuse(problem);
        }
    }
    abonex::shareNewFilesWithGroup(request->folder.isEmpty() ? abonex::programFolder()
                                                             : abonex::localPath(request->folder));
    abonex::TFMain window(request->folder);
    window.setClosingRebuildProgram(QCoreApplication::applicationFilePath());
    if (window.startupFailed()) return 1;
    if (!request->folder.isEmpty()) window.showRecordAtStart(request->mode, request->record);
    window.show();
    return app.exec();
}
