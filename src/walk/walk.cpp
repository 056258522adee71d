#include "walk/walk.h"

#include "report/report.h"
#include "scan/scan.h"
#include "walk/dir_services.h"

#include <vector>

int dir_depth = -1;

namespace {

// Directories on the current descent path, so that a symbolic link back to
// one of them is not followed round and round.
std::vector<directory_id> descent_path;

bool on_descent_path(const directory_id& id) {
    for (const directory_id& d : descent_path)
        if (d == id)
            return true;
    return false;
}

// Enters the subdirectory name, walks it and comes back to saved. A
// subdirectory that cannot be entered, or one the walk is already inside, is
// passed over. False when the way back failed.
bool descend(const std::string& name, saved_directory* saved) {
    if (!set_current_directory(name.c_str()))
        return true;
    directory_id id;
    if (!current_directory_id(id) || !on_descent_path(id))
        walk_directory();
    return restore_directory(saved);
}

} // namespace

void list_directory(const char* pattern, std::list<std::string>& names) {
    find_data data;
    find_search* search = find_first(pattern ? pattern : "*", data);
    if (!search)
        return;
    do {
        if (data.is_directory == (pattern == nullptr))
            names.push_back(data.name);
    } while (find_next(search, data));
    find_close(search);
}

void walk_directory() {
    ++dir_depth;
    directory_id id;
    bool known = current_directory_id(id);
    if (known)
        descent_path.push_back(id);

    std::list<std::string> names;
    list_directory("*.htm?", names);
    for (const std::string& page : names)
        scan_page(page);

    std::string saved_path = get_current_directory();
    if (dir_depth >= 4 && !names.empty())
        report_deep_directory(dir_depth, saved_path);

    names.clear();
    list_directory(nullptr, names);
    // The way back must hold however long the path grows and however deep
    // the tree goes. Without one, the walk does not go down at all rather
    // than risk going on in the wrong directory; when the way back fails, it
    // stops listing here for the same reason.
    saved_directory* saved = save_current_directory();
    if (saved) {
        for (const std::string& name : names)
            if (name != "." && name != ".." && !descend(name, saved))
                break;
        release_directory(saved);
    }

    if (known)
        descent_path.pop_back();
    --dir_depth;
}
