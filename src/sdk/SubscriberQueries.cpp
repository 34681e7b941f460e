// getSubscriberData, updateSubscriber and getMessages: signed questions about the subscriber
// that subscription stored.

#include <utility>

#include "api/ApiDateFormatter.h"
#include "api/StatisticsTarget.h"
#include "api/SubscriberGetTarget.h"
#include "api/SubscriberUpdateTarget.h"
#include "orvanpush/OrvanPushSDKError.h"
#include "orvanpush/PushSDK.h"
#include "sdk/KeyReconciliation.h"
#include "sdk/OperationSupport.h"
#include "sdk/PrintedText.h"
#include "sdk/PushSDKState.h"
#include "sdk/SubscriberIdentity.h"
#include "sdk/UnsentStatuses.h"
#include "text/Utf8Text.h"

namespace orvanpush {

using detail::printedString;
using detail::PushSDKState;

namespace {

// The common start of a query: its entry, then the stored identity and its own address.
struct Identity {
    detail::SubscriberIds ids;
    std::string ownAddress;
};

Identity startQuery(const PushSDKState& state, const std::string& entry) {
    detail::logEntry(entry);
    auto ids = detail::SubscriberIds::read(*state.settingsUtils);
    auto ownAddress = PushSDKState::makeAddress(ids.deviceId, ids.clientId);
    return {std::move(ids), std::move(ownAddress)};
}

// The completion of a query: logs the outcome, starts the re-sending of queued reports after a
// success when `resendsReports`, and hands the result to the host.
template <typename Result>
std::function<void(Result)> finishQuery(std::shared_ptr<PushSDKState> state, std::string errorEntry,
                                        std::string successEntry, bool resendsReports,
                                        std::function<void(std::optional<Result>)> postCompleted) {
    return [state = std::move(state), errorEntry = std::move(errorEntry),
            successEntry = std::move(successEntry), resendsReports,
            postCompleted = std::move(postCompleted)](Result result) {
        if (result.getResultKind() == ResultKind::error) {
            detail::logEntry(errorEntry + detail::errorDetails(result), LogSeverity::error);
        } else {
            detail::logEntry(successEntry);
            if (resendsReports) {
                detail::processUnsentStatuses(state, detail::kResendLimit);
            }
        }
        detail::complete(postCompleted, std::move(result));
    };
}

// Signs the query with the device key, then gives it its headers (the host's header manager runs
// after the signature, as for every signed request) and sends it as `Target`.
template <typename Target, typename Object, typename HeadersOf, typename Result>
void signAndSend(const std::shared_ptr<PushSDKState>& state, Object object, HeadersOf headersOf,
                 std::function<void(Result)> postCompleted) {
    const auto signedText = Target::signedText(object);
    object.signature = state->sign(signedText);
    object.headers = headersOf();
    detail::sendSigned(state, Target{std::move(object)}, signedText, std::move(postCompleted));
}

}  // namespace

void PushSDK::getSubscriberData(
    const std::optional<std::string>& rDeviceId, std::optional<double> requestTimeout,
    std::function<void(std::optional<SubscriberGetResult>)> postCompleted) {
    const auto identity = startQuery(*state_, "Start get subscriber data process");
    detail::SubscriberGetObject object{.retryCount = detail::kRetryCount,
                                       .requestTimeout = requestTimeout,
                                       .address = identity.ownAddress,
                                       .requestAddress = PushSDKState::makeAddress(
                                           detail::repaired(rDeviceId), identity.ids.clientId)};
    detail::logEntry(
        detail::parameterLine({{"address", printedString(object.address)},
                               {"requestAddress", printedString(object.requestAddress)}}));
    signAndSend<detail::SubscriberGetTarget>(
        state_, std::move(object),
        [&] { return state_->getHeadersWithPushEnabled("subscriber/get"); },
        finishQuery<SubscriberGetResult>(state_, "Error on get subscriber data process: ",
                                         "Get subscriber data process successfully completed", true,
                                         std::move(postCompleted)));
}

void PushSDK::updateSubscriber(const std::optional<std::string>& updateAddress,
                               const std::map<std::string, std::string>& attributes,
                               std::optional<double> requestTimeout,
                               ResultCompletion postCompleted) {
    const auto identity = startQuery(*state_, "Start update subscriber process");
    detail::SubscriberUpdateObject object{
        .retryCount = detail::kRetryCount,
        .requestTimeout = requestTimeout,
        .address = identity.ownAddress,
        .updateAddress = detail::repaired(updateAddress).value_or(identity.ownAddress)};
    for (const auto& [key, value] : attributes) {
        // Two keys that differ only in bytes that are not UTF-8 would become one.
        if (!object.attributes.emplace(detail::repairUtf8(key), detail::repairUtf8(value)).second) {
            throw OrvanPushSDKError::invalidParameter("attributes");
        }
    }
    detail::logEntry(detail::parameterLine(
        {{"address", printedString(object.address)},
         {"updateAddress", printedString(object.updateAddress)},
         {"attributes", "\"" + detail::printedDictionary(object.attributes) + "\""}}));
    signAndSend<detail::SubscriberUpdateTarget>(
        state_, std::move(object),
        [&] { return state_->getHeadersWithPushEnabled("subscriber/update"); },
        finishQuery<BaseApiResult>(state_, "Error on update subscriber data process: ",
                                   "Subscribe data updated", true, std::move(postCompleted)));
}

void PushSDK::getMessages(const std::optional<std::string>& deviceId,
                          const std::optional<std::string>& requestId, std::int64_t amount,
                          Date dateFrom, const std::optional<Date>& dateTo,
                          std::optional<double> requestTimeout,
                          std::function<void(std::optional<StatisticsResult>)> postCompleted) {
    const auto identity = startQuery(*state_, "Start getting messages process");
    detail::StatisticsObject object{
        .retryCount = detail::kRetryCount,
        .requestTimeout = requestTimeout,
        .address = identity.ownAddress,
        .requestAddress =
            deviceId ? PushSDKState::makeAddress(detail::repaired(deviceId), identity.ids.clientId)
                     : identity.ownAddress,
        .requestId = detail::repaired(requestId),
        .amount = amount,
        .dateFrom = dateFrom,
        .dateTo = dateTo};
    const auto& dates = detail::apiDateFormatter();
    detail::logEntry(
        detail::parameterLine({{"address", printedString(object.address)},
                               {"requestAddress", printedString(object.requestAddress)},
                               {"requestId", printedString(object.requestId.value_or(""))},
                               {"amount", printedString(std::to_string(amount))},
                               {"dateFrom", printedString(dates.string(dateFrom))},
                               {"dateTo", printedString(dateTo ? dates.string(*dateTo) : "")}}));
    signAndSend<detail::StatisticsTarget>(
        state_, std::move(object), [&] { return state_->getHeaders("statistics"); },
        finishQuery<StatisticsResult>(state_, "Error on getting messages process: ",
                                      "Getting messages process successfully completed", false,
                                      std::move(postCompleted)));
}

}  // namespace orvanpush
