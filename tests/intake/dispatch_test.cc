// The dispatcher: exact type names, the missing-type warning, order.
#include "intake/dispatch.h"

#include <gtest/gtest.h>

#include "app/settings.h"
#include "tests/support/report_harness.h"

namespace {

class DispatchTest : public ReportTest {};

struct DispatchCase {
  const char* datagram;
  std::uint32_t set;
  const char* capture;
  const char* console;
};

TEST_F(DispatchTest, TypesAndWarnings) {
  const DispatchCase cases[] = {
      // Types are compared with case; unknown ones vanish even under -W.
      {R"({"@type":"l2trace","reportFrom":"N0DE"})", TF_WARNINGS, "", ""},
      {R"({"@type":"NodeStatusX","nodeCall":"N0DE"})", TF_WARNINGS | TF_NODE_REPORTS, "", ""},
      {R"({"reportFrom":"N0DE"})", 0, "", ""},
      {R"({"reportFrom":"N0DE"})", TF_WARNINGS, "", "[missing '@type']\n"},
      {R"({"@TYPE":"NodeUpEvent","nodeCall":"N0DE"})", TF_NODE_REPORTS, "\nN0DE <NODE UP>\n",
       "\nN0DE <NODE UP>\n"},
      // A trace report with nothing but its type reaches its formatter.
      {R"({"@type":"L2Trace"})", TF_WARNINGS, "", "[Mandatory field missing]\n"},
      {R"({"@type":"L3Trace"})", TF_WARNINGS, "", "[Mandatory field missing]\n"},
      {R"({"@type":"L2Trace"})", 0, "", ""},
      // Two reports in one datagram, each formatted whole, in order.
      {R"({"@type":"NodeUpEvent","nodeCall":"A"},{"@type":"NodeDownEvent","nodeCall":"B"})",
       TF_NODE_REPORTS, "\nA <NODE UP>\n\nB <NODE DOWN>\n  \n",
       "\nA <NODE UP>\n\nB <NODE DOWN>\n  \n"},
  };
  for (const DispatchCase& c : cases) {
    SCOPED_TRACE(c.datagram);
    flags(c.set, TF_TIMESTAMP | TF_COLOUR);
    const ChannelText out = feed(c.datagram);
    EXPECT_EQ(out.capture, c.capture);
    EXPECT_EQ(out.console, c.console);
  }
}

}  // namespace
