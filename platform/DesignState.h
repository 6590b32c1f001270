#pragma once

namespace kx {

/// Whether a component is being edited in a designer or loaded from a stored
/// form. Both are false in a running program; tests set them to reach the
/// design-time branches.
class DesignState
{
public:
    /// Being edited in a designer: no media is opened, no timers run.
    ///@{
    bool Designing() const { return designing_; }
    void SetDesigning(bool on) { designing_ = on; }
    ///@}
    /// Being read from a stored form: settings are taken without side effects.
    ///@{
    bool Loading() const { return loading_; }
    void SetLoading(bool on) { loading_ = on; }
    ///@}

private:
    bool designing_ = false;
    bool loading_ = false;
};

} // namespace kx
