// Dropped name lists over a folder tree made from the input: names with
// spaces, newlines and bytes that are not UTF-8, links back to a folder being
// walked, dangling links, names that do not exist. Reading a drop must end,
// and every name it keeps must be of the kind the options ask for.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "FuzzSupport.h"
#include "controls/HZDropFiles.h"

using namespace kx;

namespace {

class Helper : public THZAbstractDropFilesHelper
{
public:
    Helper() : THZAbstractDropFilesHelper(nullptr) {}
    QWidget* GetControl() override { return nullptr; }
};

std::string Name(fuzz::FuzzInput& in)
{
    std::string name;
    const int length = 1 + int(in.Pick(6));
    for (int i = 0; i < length; ++i) {
        char c = static_cast<char>(in.Take(1));
        if (c == '/' || c == '\0')
            c = '_';
        name += c;
    }
    return name == "." || name == ".." ? "_" : name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzInput in(data, size);
    const std::string root = QFile::encodeName(fuzz::ScratchDir()).toStdString() + "/drop";
    QDir(QFile::decodeName(root.c_str())).removeRecursively();
    ::mkdir(root.c_str(), 0755);

    std::vector<std::string> dirs = {root}, all = {root};
    const int ops = int(in.Pick(12));
    for (int i = 0; i < ops; ++i) {
        const std::string& parent = dirs[in.Pick(uint32_t(dirs.size()))];
        const std::string path = parent + "/" + Name(in);
        switch (in.Pick(4)) {
        case 0:
            if (::mkdir(path.c_str(), 0755) == 0)
                dirs.push_back(path);
            break;
        case 1:
            if (FILE* f = std::fopen(path.c_str(), "w"))
                std::fclose(f);
            break;
        case 2:  // a link to a folder, often one above it
            (void)!::symlink(dirs[in.Pick(uint32_t(dirs.size()))].c_str(), path.c_str());
            break;
        default:  // a dangling or relative link
            (void)!::symlink(Name(in).c_str(), path.c_str());
            break;
        }
        all.push_back(path);
    }

    Helper helper;
    THZDropFilesOptions options;
    const uint32_t bits = in.Take(1);
    for (auto o : {dfoIncFolders, dfoIncFiles, dfoRecurseFolders})
        if (bits & (1u << o))
            options.Include(o);
    helper.Options = options;
    const uint32_t refuse = in.Take(1);
    helper.OnFileFilter = [refuse](QObject*, const QString& name, bool, bool& accept) {
        accept = refuse == 0 || qHash(name) % 7 != refuse % 7;
    };
    QStringList names;
    const int dropped = int(in.Pick(5));
    for (int i = 0; i < dropped; ++i) {
        const uint32_t which = in.Take(1);
        if (which < 200)
            names << QFile::decodeName(all[which % all.size()].c_str());
        else
            names << QFile::decodeName((root + "/" + Name(in)).c_str()) + (which & 1 ? "/" : "");
    }
    helper.ReadDrop(names, QPoint(1, 2));

    for (const THZDroppedName& n : helper.Names) {
        if (n.IsFolder != QFileInfo(n.Name).isDir())
            __builtin_trap();
        if (!options.Contains(n.IsFolder ? dfoIncFolders : dfoIncFiles))
            __builtin_trap();
    }
    if (helper.DropPoint != QPoint(1, 2))
        __builtin_trap();
    return 0;
}
