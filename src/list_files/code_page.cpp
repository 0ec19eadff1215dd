#include "list_files/code_page.h"

#include <qt_windows.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "platform/failure.h"

using namespace Qt::Literals::StringLiterals;

namespace list_files {

namespace {

[[noreturn]] void failConversion(unsigned id) {
    throw platform::Failure(
        u"Conversion in code page %1 failed (Windows error %2)"_s.arg(id).arg(GetLastError()));
}

}  // namespace

unsigned CodePage::systemAnsi() {
    return GetACP();
}

CodePage::CodePage(unsigned id) : m_id(id) {
    CPINFO info{};
    if (!GetCPInfo(id, &info)) {
        throw platform::Failure(u"Code page %1 is not available on this system"_s.arg(id));
    }
    m_maxCharBytes = int(info.MaxCharSize);
    for (int i = 0; i + 1 < MAX_LEADBYTES && (info.LeadByte[i] != 0 || info.LeadByte[i + 1] != 0);
         i += 2) {
        for (int byte = info.LeadByte[i]; byte <= info.LeadByte[i + 1]; ++byte) {
            m_leadBytes[byte] = 1;
        }
    }
}

CodePage::~CodePage() = default;

qsizetype CodePage::wholeCharacters(const uchar* bytes, qsizetype size) const {
    if (m_maxCharBytes == 1) return size;
    qsizetype i = 0;
    while (i < size) {
        if (m_leadBytes[bytes[i]] == 0) {
            ++i;
        } else if (i + 1 == size) {
            return i;
        } else {
            i += 2;
        }
    }
    return size;
}

qsizetype CodePage::decode(const uchar* bytes, qsizetype size, char16_t* out) const {
    qsizetype produced = 0;
    while (size > 0) {
        // The API counts in int: long inputs go in pieces that end on a whole character.
        qsizetype piece = size;
        if (piece > INT_MAX / 2) piece = wholeCharacters(bytes, INT_MAX / 2);
        const int units =
            MultiByteToWideChar(m_id, 0, reinterpret_cast<const char*>(bytes), int(piece),
                                reinterpret_cast<wchar_t*>(out + produced), int(piece));
        if (units == 0) failConversion(m_id);
        produced += units;
        bytes += piece;
        size -= piece;
    }
    return produced;
}

qsizetype CodePage::encode(QStringView text, char* out) const {
    qsizetype written = 0;
    while (!text.isEmpty()) {
        const qsizetype piece = std::min<qsizetype>(text.size(), INT_MAX / 4);
        const int bytes =
            WideCharToMultiByte(m_id, 0, reinterpret_cast<const wchar_t*>(text.utf16()), int(piece),
                                out + written, int(piece * m_maxCharBytes), nullptr, nullptr);
        if (bytes == 0) failConversion(m_id);
        written += bytes;
        text = text.mid(piece);
    }
    return written;
}

bool CodePage::holds(QStringView text) const {
    if (!m_heldUnits) mapUnits();
    const quint64* held = m_heldUnits.get();
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if ((held[unit >> 6] >> (unit & 63) & 1) == 0) return false;
    }
    return true;
}

// Writes every unit outside the surrogates once, with best-fit replacements off, and reads the
// bytes back: a unit is held when it comes back as itself. A character of the code page is one
// unit, so the positions line up; should they not, each unit is tried on its own.
void CodePage::mapUnits() const {
    auto held = std::make_unique<quint64[]>(0x10000 / 64);
    std::vector<wchar_t> units;
    for (char32_t unit = 0; unit < 0x10000; ++unit) {
        if (!QChar::isSurrogate(unit)) units.push_back(wchar_t(unit));
    }
    const auto roundTrip = [this](const wchar_t* in, int size, std::vector<wchar_t>& back) {
        std::vector<char> bytes(size_t(size) * size_t(m_maxCharBytes) + 1);
        const int length = WideCharToMultiByte(m_id, WC_NO_BEST_FIT_CHARS, in, size, bytes.data(),
                                               int(bytes.size()), nullptr, nullptr);
        if (length == 0) failConversion(m_id);
        back.resize(size_t(size) * 2 + 2);
        const int count =
            MultiByteToWideChar(m_id, 0, bytes.data(), length, back.data(), int(back.size()));
        if (count == 0) failConversion(m_id);
        back.resize(size_t(count));
    };
    const auto mark = [&](wchar_t unit) { held[unit >> 6] |= quint64(1) << (unit & 63); };
    std::vector<wchar_t> back;
    roundTrip(units.data(), int(units.size()), back);
    if (back.size() == units.size()) {
        for (size_t i = 0; i < units.size(); ++i) {
            if (back[i] == units[i]) mark(units[i]);
        }
    } else {
        for (const wchar_t unit : units) {
            roundTrip(&unit, 1, back);
            if (back.size() == 1 && back[0] == unit) mark(unit);
        }
    }
    m_heldUnits = std::move(held);
}

}  // namespace list_files
