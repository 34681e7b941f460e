#include "api/UploadLogsTarget.h"

#include "api/MultipartFormData.h"
#include "orvanpush/platform/Console.h"
#include "text/Utf8Text.h"

namespace orvanpush::detail {
namespace {

constexpr const char* kUtf8Text = "text/plain; charset=utf-8";

void addField(ApiParameters& parameters, MultipartParams field, const std::string& value,
              const char* contentType) {
    parameters[MultipartFormData::valueKey(toString(field))] = value;
    parameters[MultipartFormData::contentTypeKey(toString(field))] = contentType;
}

}  // namespace

const char* toString(MultipartParams field) {
    switch (field) {
        case MultipartParams::client:
            return "client";
        case MultipartParams::device:
            return "device";
        case MultipartParams::logfile:
            return "logfile";
        case MultipartParams::filename:
            return "filename";
    }
    return "";
}

ApiParameters UploadLogsTarget::parameters() const {
    auto parameters = requestParameters(value, "/saveLogFile", "POST");
    addField(parameters, MultipartParams::client, value.clientId, kUtf8Text);
    addField(parameters, MultipartParams::device, value.deviceId, kUtf8Text);
    if (value.pathToFile) {
        addField(parameters, MultipartParams::logfile, *value.pathToFile, "text/plain");
        parameters[MultipartFormData::fileFlagKey(toString(MultipartParams::logfile))] = "true";
    }
    if (value.filename) {
        addField(parameters, MultipartParams::filename, *value.filename, kUtf8Text);
    }
    return parameters;
}

UploadLogsResult UploadLogsTarget::convert(const platform::HttpResponse& response) {
    platform::Console::printLine("Result: " + decodeUtf8(response.body).value_or("None"));
    return UploadLogsResult::decode(response.body);
}

}  // namespace orvanpush::detail
