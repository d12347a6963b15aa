// The shared wrapper of a channel's trigger-override policy: the object the channel set-up builds
// and destroys. The policy does the work; destroying the wrapper destroys the policy, which
// disables its trigger's input 0 whether or not the hardware answers.
#pragma once

namespace vantrel_shared {

template <class tChannelMap, class tConfigReg, class tOverrideReg,
          template <class, class, class> class tPolicy>
class TriggerOverrideController : public tPolicy<tChannelMap, tConfigReg, tOverrideReg> {
public:
    using tPolicyPart = tPolicy<tChannelMap, tConfigReg, tOverrideReg>;
    using tPolicyPart::tPolicyPart;
    ~TriggerOverrideController() override {}
};

}  // namespace vantrel_shared
