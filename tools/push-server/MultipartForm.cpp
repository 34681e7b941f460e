#include "MultipartForm.h"

namespace orvanpush::server {
namespace {

constexpr std::string_view crlf = "\r\n";
constexpr std::string_view dispositionPrefix = "Content-Disposition: form-data; name=\"";
constexpr std::string_view filenamePrefix = ";filename=\"";
constexpr std::string_view contentTypePrefix = "Content-Type: ";

// Reads a quoted parameter value ending at the next double quote; the cursor moves past it.
std::optional<std::string> quotedValue(std::string_view line, std::size_t& cursor) {
    const std::size_t closing = line.find('"', cursor);
    if (closing == std::string_view::npos) {
        return std::nullopt;
    }
    std::string value(line.substr(cursor, closing - cursor));
    cursor = closing + 1;
    return value;
}

std::string parseDisposition(std::string_view line, MultipartPart& part) {
    if (!line.starts_with(dispositionPrefix)) {
        return "a part's first header is not \"Content-Disposition: form-data; name=\\\"...\\\"\"";
    }
    std::size_t cursor = dispositionPrefix.size();
    const auto name = quotedValue(line, cursor);
    if (!name) {
        return "a part's name is not closed by a double quote";
    }
    part.name = *name;
    if (cursor == line.size()) {
        return {};
    }
    if (line.substr(cursor, filenamePrefix.size()) != filenamePrefix) {
        return "part \"" + part.name + "\": its name is followed by something other than " +
               "';filename=\"...\"'";
    }
    cursor += filenamePrefix.size();
    part.filename = quotedValue(line, cursor);
    if (!part.filename || cursor != line.size()) {
        return "part \"" + part.name + "\": its filename is not one quoted value ending the line";
    }
    return {};
}

}  // namespace

MultipartForm parseMultipartForm(std::string_view body, std::string_view boundary) {
    MultipartForm form;
    const std::string delimiter = std::string(crlf) + "--" + std::string(boundary);
    if (!body.starts_with(delimiter)) {
        form.problem = "the body does not start with CRLF, \"--\" and the boundary";
        return form;
    }
    std::size_t position = delimiter.size();
    while (true) {
        const std::string_view rest = body.substr(position);
        if (rest.starts_with("--")) {
            if (rest != "--\r\n") {
                form.problem = "the closing boundary is not followed by exactly CRLF";
            }
            return form;
        }
        if (!rest.starts_with(crlf)) {
            form.problem = "a boundary is followed by neither CRLF nor \"--\"";
            return form;
        }
        position += crlf.size();
        MultipartPart part;
        const std::size_t dispositionEnd = body.find(crlf, position);
        if (dispositionEnd == std::string_view::npos) {
            form.problem = "a part's headers do not end";
            return form;
        }
        if (form.problem = parseDisposition(body.substr(position, dispositionEnd - position), part);
            !form.problem.empty()) {
            return form;
        }
        position = dispositionEnd + crlf.size();
        const std::size_t typeEnd = body.find(crlf, position);
        const std::string_view typeLine =
            body.substr(position, typeEnd == std::string_view::npos ? 0 : typeEnd - position);
        if (!typeLine.starts_with(contentTypePrefix) ||
            typeLine.size() == contentTypePrefix.size()) {
            form.problem = "part \"" + part.name +
                           "\": its second header is not \"Content-Type: \"" + " with a value";
            return form;
        }
        part.contentType = std::string(typeLine.substr(contentTypePrefix.size()));
        position = typeEnd + crlf.size();
        if (body.substr(position, crlf.size()) != crlf) {
            form.problem = "part \"" + part.name +
                           "\": its headers are not closed by an empty line" +
                           " after Content-Type";
            return form;
        }
        position += crlf.size();
        const std::size_t dataEnd = body.find(delimiter, position);
        if (dataEnd == std::string_view::npos) {
            form.problem = "part \"" + part.name + "\": no boundary follows its data";
            return form;
        }
        part.data = body.substr(position, dataEnd - position);
        form.parts.push_back(std::move(part));
        position = dataEnd + delimiter.size();
    }
}

}  // namespace orvanpush::server
