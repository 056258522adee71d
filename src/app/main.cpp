// hrefcheck: checks every link of the site below the current directory.
#include "http/socket_library.h"
#include "report/report.h"
#include "walk/walk.h"

int main() {
    socket_library_start();
    open_report_files();
    walk_directory();
    close_report_files();
    socket_library_stop();
    return 0;
}
