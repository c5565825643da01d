// SPDX-License-Identifier: GPL-3.0-or-later
#include "images.h"

#include "crc32.h"
#include "files.h"

#include <filesystem>

namespace meridan::sim {

Bytes makeImage(std::uint8_t kind, std::uint8_t version, std::uint32_t len)
{
    Bytes payload(len);
    for (std::uint32_t i = 0; i < len; ++i)
        payload[i] = static_cast<std::uint8_t>(i * 31 + kind);
    std::uint32_t crc = crc32(payload);
    Bytes img{'D', 'P', 'F', 'W', kind, version, 0, 0};
    for (int s = 24; s >= 0; s -= 8)
        img.push_back(static_cast<std::uint8_t>(len >> s));
    for (int s = 24; s >= 0; s -= 8)
        img.push_back(static_cast<std::uint8_t>(crc >> s));
    img.insert(img.end(), payload.begin(), payload.end());
    return img;
}

Bytes sampleOs9Image()
{
    return makeImage(ImageCpu040, 0x21, 4096);
}

Bytes sampleDpm1Image()
{
    return makeImage(ImageCpu331, 0x53, 2048);
}

bool writeSampleImages(const std::string &dir, bool onlyMissing, std::string *error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(dir, ec);
    const std::pair<const char *, Bytes> files[] = {{"OS9PCI.lo", sampleOs9Image()},
                                                    {"DPM1.lo", sampleDpm1Image()}};
    for (const auto &[name, bytes] : files) {
        fs::path p = fs::path(dir) / name;
        // Anything already there counts, a dangling link too: it is never written through.
        if (onlyMissing && fs::symlink_status(p, ec).type() != fs::file_type::not_found)
            continue;
        if (!writeWholeFile(p.string(), std::string(bytes.begin(), bytes.end()), onlyMissing, error))
            return false;
    }
    return true;
}

} // namespace meridan::sim
