#include "TestPlatform.h"

#include "link/Protocol.h"

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            out += ' ';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}

std::vector<std::string> hexRequests(const std::vector<std::vector<std::uint8_t>>& requests) {
    std::vector<std::string> out;
    for (const auto& r : requests)
        out.push_back(hexBytes(r));
    return out;
}

QStringList settingWrites(const std::vector<std::vector<std::uint8_t>>& requests) {
    QStringList out;
    for (const auto& r : requests)
        if (r.size() >= 3 && r[0] == proto::kDirWrite && r[2] == proto::kCmdConfig)
            out << QString::fromStdString(hexBytes(r));
    return out;
}
