#include "orvanpush/logger/LoggerModule.h"

namespace orvanpush {

std::string toString(LoggerModule module) {
    switch (module) {
        case LoggerModule::crypto:
            return "Crypto";
        case LoggerModule::storage:
            return "Storage";
        case LoggerModule::sdk:
            return "SDK Instance";
    }
    return "SDK Instance";
}

}  // namespace orvanpush
