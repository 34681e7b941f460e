#include "platform/IcuDateFormat.h"

#include <dlfcn.h>

#include <mutex>

#include <unicode/ucal.h>
#include <unicode/udat.h>
#include <unicode/ustring.h>
#include <unicode/uvernum.h>

#include "orvanpush/TextError.h"
#include "platform/DateFormatter.h"

namespace orvanpush::platform {
namespace {

// ICU's C functions carry its major version in their names (udat_open_72): the headers' own
// renaming macros give the names to look up.
#define ORVANPUSH_ICU_TEXT(name) #name
#define ORVANPUSH_ICU_SYMBOL(name) ORVANPUSH_ICU_TEXT(name)

// The ICU functions the formats call, looked up once in the library the headers belong to.
struct Icu {
    decltype(&::udat_open) open = nullptr;
    decltype(&::udat_close) close = nullptr;
    decltype(&::udat_format) format = nullptr;
    decltype(&::udat_parse) parse = nullptr;
    decltype(&::ucal_getHostTimeZone) hostTimeZone = nullptr;
    decltype(&::u_strFromUTF8) fromUtf8 = nullptr;
    decltype(&::u_strToUTF8) toUtf8 = nullptr;
    decltype(&::u_errorName) errorName = nullptr;

    bool loaded() const {
        return open && close && format && parse && hostTimeZone && fromUtf8 && toUtf8 && errorName;
    }
};

template <class Function>
void lookUp(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
}

// Loaded on first need and kept for the life of the process.
const Icu& icu() {
    static const Icu loaded = [] {
        Icu functions;
        const std::string soname = "libicui18n.so." + std::to_string(U_ICU_VERSION_MAJOR_NUM);
        void* library = dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            return functions;
        }
        lookUp(library, ORVANPUSH_ICU_SYMBOL(udat_open), functions.open);
        lookUp(library, ORVANPUSH_ICU_SYMBOL(udat_close), functions.close);
        lookUp(library, ORVANPUSH_ICU_SYMBOL(udat_format), functions.format);
        lookUp(library, ORVANPUSH_ICU_SYMBOL(udat_parse), functions.parse);
        lookUp(library, ORVANPUSH_ICU_SYMBOL(ucal_getHostTimeZone), functions.hostTimeZone);
        lookUp(library, ORVANPUSH_ICU_SYMBOL(u_strFromUTF8), functions.fromUtf8);
        lookUp(library, ORVANPUSH_ICU_SYMBOL(u_strToUTF8), functions.toUtf8);
        lookUp(library, ORVANPUSH_ICU_SYMBOL(u_errorName), functions.errorName);
        return functions;
    }();
    if (!loaded.loaded()) {
        throw TextError("ICU cannot be loaded");
    }
    return loaded;
}

std::u16string utf16(const std::string& text) {
    std::u16string converted(text.size(), u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    icu().fromUtf8(converted.data(), static_cast<int32_t>(converted.size()), &length, text.data(),
                   static_cast<int32_t>(text.size()), &status);
    converted.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    return converted;
}

std::string utf8(const UChar* text, int32_t length) {
    std::string converted(static_cast<std::size_t>(length) * 3, '\0');
    int32_t written = 0;
    UErrorCode status = U_ZERO_ERROR;
    icu().toUtf8(converted.data(), static_cast<int32_t>(converted.size()), &written, text, length,
                 &status);
    converted.resize(U_SUCCESS(status) ? static_cast<std::size_t>(written) : 0);
    return converted;
}

}  // namespace

struct IcuDateFormat::Handle {
    UDateFormat* format = nullptr;
    ~Handle() {
        if (format != nullptr) {
            icu().close(format);
        }
    }
};

IcuDateFormat::IcuDateFormat(const std::string& pattern, const std::string& timeZone,
                             const std::string& locale)
    : handle_(std::make_unique<Handle>()) {
    const auto& functions = icu();
    const std::u16string zone = utf16(timeZone.empty() ? hostTimeZone() : timeZone);
    const std::u16string text = utf16(pattern);
    const std::string localeId = locale.empty() ? DateFormatter::deviceLocale() : locale;
    UErrorCode status = U_ZERO_ERROR;
    handle_->format = functions.open(UDAT_PATTERN, UDAT_PATTERN, localeId.c_str(), zone.data(),
                                     static_cast<int32_t>(zone.size()), text.data(),
                                     static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) {
        throw TextError("Invalid date pattern \"" + pattern + "\": " + functions.errorName(status));
    }
}

IcuDateFormat::~IcuDateFormat() = default;

std::string IcuDateFormat::format(std::int64_t milliseconds) const {
    UChar text[256];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = icu().format(handle_->format, static_cast<UDate>(milliseconds), text,
                                        256, nullptr, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        std::u16string longer(static_cast<std::size_t>(length), u'\0');
        status = U_ZERO_ERROR;
        icu().format(handle_->format, static_cast<UDate>(milliseconds), longer.data(), length,
                     nullptr, &status);
        return utf8(longer.data(), length);
    }
    return U_SUCCESS(status) ? utf8(text, length) : std::string();
}

std::optional<double> IcuDateFormat::parse(const std::string& text) const {
    const std::u16string converted = utf16(text);
    UErrorCode status = U_ZERO_ERROR;
    int32_t position = 0;
    const UDate parsed = icu().parse(handle_->format, converted.data(),
                                     static_cast<int32_t>(converted.size()), &position, &status);
    if (U_FAILURE(status) || position == 0) {
        return std::nullopt;
    }
    return parsed;
}

std::mutex& IcuDateFormat::hostZoneReading() {
    static std::mutex reading;
    return reading;
}

std::string IcuDateFormat::hostTimeZone() {
    // ICU reads the host's zone through tzset and static buffers.
    std::lock_guard lock(hostZoneReading());
    UChar zone[128];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = icu().hostTimeZone(zone, 128, &status);
    return U_SUCCESS(status) ? utf8(zone, length) : std::string("GMT");
}

}  // namespace orvanpush::platform
