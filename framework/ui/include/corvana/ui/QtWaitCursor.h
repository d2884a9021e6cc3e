#pragma once

#include "corvana/core/Services.h"

namespace corvana::ui {

// The application's override cursor; SetWait and SetDefault are balanced
// (at most one override of this service is in force).
class QtWaitCursor : public corvana::services::IWaitCursor {
public:
    ~QtWaitCursor() override;
    void SetWait() override;
    void SetDefault() override;
    bool IsWait() const override { return wait_; }

private:
    bool wait_ = false;
};

}  // namespace corvana::ui
