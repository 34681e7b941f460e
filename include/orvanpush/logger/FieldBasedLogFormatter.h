#pragma once

// A line described as a list of fields, each turned into its field formatter once:
//
//   using Field = FieldBasedLogFormatter::Field;
//   FieldBasedLogFormatter formatter({Field::severity(SeverityStyle::simple()),
//                                     Field::delimiter(DelimiterStyle::spacedHyphen()),
//                                     Field::payload()});
//   formatter.format(entry);  // "Info - Send logs is 1"

#include <string>
#include <utility>
#include <vector>
#include "orvanpush/Export.h"

#include "orvanpush/logger/ConcatenatingLogFormatter.h"
#include "orvanpush/logger/LogFormatterStyles.h"
#include "orvanpush/logger/LoggerModule.h"

namespace orvanpush {

/// A line made of fields, joined in order (see ConcatenatingLogFormatter for `hardFail`).
///
///   using Field = orvanpush::FieldBasedLogFormatter::Field;
///   orvanpush::FieldBasedLogFormatter formatter(
///       {Field::timestamp(orvanpush::TimestampStyle::default_()),
///        Field::delimiter(orvanpush::DelimiterStyle::spacedPipe()), Field::payload()});
class ORVANPUSH_EXPORT FieldBasedLogFormatter : public ConcatenatingLogFormatter {
  public:
    /// One piece of a line.
    class ORVANPUSH_EXPORT Field {
      public:
        /// The entry's timestamp in `style`.
        static Field timestamp(TimestampStyle style);
        /// The entry's own context (the text given here is not printed).
        static Field context(const std::string& context);
        /// The entry's own module (the module given here is not printed).
        static Field module(LoggerModule module);
        /// The entry's severity in `style`.
        static Field severity(SeverityStyle style);
        /// The calling thread's id in `style`.
        static Field callingThread(CallingThreadStyle style);
        /// The delimiter text of `style`.
        static Field delimiter(DelimiterStyle style);
        /// A fixed text.
        static Field literal(std::string text);
        /// Whatever `formatter` gives.
        static Field custom(LogFormatterPtr formatter);
        /// The call site's file name and line.
        static Field callSite();
        /// The calling function's name.
        static Field stackFrame();
        /// The payload: function name, message text or value text.
        static Field payload();
        /// The process name.
        static Field processName();
        /// The process id.
        static Field processID();

        /// The formatter this field stands for.
        const LogFormatterPtr& formatter() const { return formatter_; }

      private:
        explicit Field(LogFormatterPtr formatter) : formatter_(std::move(formatter)) {}

        LogFormatterPtr formatter_;
    };

    /// Joins the fields' formatters; or, by the inherited constructor, any formatters.
    explicit FieldBasedLogFormatter(const std::vector<Field>& fields, bool hardFail = false);
    using ConcatenatingLogFormatter::ConcatenatingLogFormatter;
};

}  // namespace orvanpush
