#include "model/report.hpp"

#include <cstring>

namespace tessvert {

void report_system_reason(reporter& r, const std::string& path, int error_number) {
    report_warning(r, path + ": " + std::strerror(error_number));
}

}  // namespace tessvert
