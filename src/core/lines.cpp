#include "core/lines.h"

#include <array>

#include "core/layout.h"

namespace velnor {
namespace {

using C = FormControls;

constexpr std::array kInputLines = {
    InputLine{.name = u"DSR",
              .code = u"dsr",
              .commEvent = comEvDSR,
              .level = &ModemLevels::dsr,
              .frame = &C::frameDSR,
              .box = &C::boxDSR,
              .optEmulateKey = &C::optDSREmulateKey,
              .cboEmulateKey = &C::cboDSREmulateKey,
              .optSendKeys = &C::optDSRSendKeys,
              .txtSendKeys = &C::txtDSRSendKeys,
              .optGenerateKeys = &C::optDSRGenerateKeys,
              .txtGenerateKeys = &C::txtDSRGenerateKeys,
              .defaultKey = u"vbKeyShift",
              .defaultSendKeys = u"%{TAB}",
              .defaultGenerateKeys = u"vbKeyMenu+vbKeyTab"},
    InputLine{.name = u"CTS",
              .code = u"cts",
              .commEvent = comEvCTS,
              .level = &ModemLevels::cts,
              .frame = &C::frameCTS,
              .box = &C::boxCTS,
              .optEmulateKey = &C::optCTSEmulateKey,
              .cboEmulateKey = &C::cboCTSEmulateKey,
              .optSendKeys = &C::optCTSSendKeys,
              .txtSendKeys = &C::txtCTSSendKeys,
              .optGenerateKeys = &C::optCTSGenerateKeys,
              .txtGenerateKeys = &C::txtCTSGenerateKeys,
              .defaultKey = u"vbKeyMenu",
              .defaultSendKeys = u"^v",
              .defaultGenerateKeys = u""},
    InputLine{.name = u"CD",
              .code = u"cd",
              .commEvent = comEvCD,
              .level = &ModemLevels::cd,
              .frame = &C::frameCD,
              .box = &C::boxCD,
              .optEmulateKey = &C::optCDEmulateKey,
              .cboEmulateKey = &C::cboCDEmulateKey,
              .optSendKeys = &C::optCDSendKeys,
              .txtSendKeys = &C::txtCDSendKeys,
              .optGenerateKeys = &C::optCDGenerateKeys,
              .txtGenerateKeys = &C::txtCDGenerateKeys,
              .defaultKey = u"vbKeyControl",
              .defaultSendKeys = u"^c",
              .defaultGenerateKeys = u""},
};

}  // namespace

std::span<const InputLine> inputLines() {
    return kInputLines;
}

}  // namespace velnor
