#include "orvanpush/storage/Entities.h"

namespace orvanpush {

Status::Status(std::shared_ptr<detail::SharedPersistentContainer> container, std::int64_t key,
               std::optional<std::string> name)
    : StoredObject(std::move(container), key), name_(std::move(name)) {}

Channel::Channel(std::shared_ptr<detail::SharedPersistentContainer> container, std::int64_t key,
                 std::optional<std::string> name)
    : StoredObject(std::move(container), key), name_(std::move(name)) {}

Icon::Icon(std::shared_ptr<detail::SharedPersistentContainer> container, std::int64_t key,
           std::optional<std::string> url, std::optional<std::string> value)
    : StoredObject(std::move(container), key), url_(std::move(url)), value_(std::move(value)) {}

ExtraContent::ExtraContent(std::shared_ptr<detail::SharedPersistentContainer> container,
                           std::int64_t key, ExtraContentImp values)
    : StoredObject(std::move(container), key), values_(std::move(values)) {}

MessageAttributes::MessageAttributes(std::shared_ptr<detail::SharedPersistentContainer> container,
                                     std::int64_t key, MessageAttributesImp values)
    : StoredObject(std::move(container), key), values_(std::move(values)) {}

}  // namespace orvanpush
