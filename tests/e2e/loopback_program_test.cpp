// The whole program on the loopback port: the built binary, started with a port, a SendKeys text
// for DSR and DTR on, types that text into the focused window of a real X server.

#include <gtest/gtest.h>

#include "support/velnor_process.h"
#include "support/x_server.h"

namespace velnor::test {
namespace {

using LoopbackProgram = OnXvfb;

TEST_F(LoopbackProgram, DtrOnTheLoopbackPortTypesTheDsrText) {
    const QProcessEnvironment environment = loopbackOnX(xvfbDisplay());
    // CD comes on with DSR; an empty Generate Keys text keeps it from holding Control down.
    VelnorProcess velnor(
        {"-port=com1", "-dsrMode=sendKeys", "-dsrSendKeys=Hello~", "-cdMode=generateKeys", "-dtr"},
        environment);
    EXPECT_EQ(window->takeText(6), "Hello\n");
    ASSERT_TRUE(waitForRunningCopy());
    const QStringList log = runningCopyLog();
    EXPECT_TRUE(log.contains("SetComPort 1") && log.contains("optDTROn_Click"))
        << log.join(u'\n').toStdString();
    EXPECT_FALSE(log.contains("optDTROff_Click")) << "DTR was refused: the port did not open";
}

}  // namespace
}  // namespace velnor::test
