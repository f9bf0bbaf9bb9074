#include "host/kept_file.h"

#include "stores/file_access.h"

namespace zv {

void replaceKeptFile(const std::string& path, const std::string& text) {
    fileio::AtomicFileWriter writer(path);
    writer.write(text.data(), text.size());
    writer.commit();
}

}  // namespace zv
