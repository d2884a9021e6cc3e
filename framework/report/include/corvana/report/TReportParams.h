#pragma once
#include <map>
#include <string>
#include <vector>

namespace corvana::report {

// The query parameters of a report definition, by name, each with the text
// it will be bound with. A report starts its parameters at their defaults.
class TReportParams {
public:
    class TParam {
    public:
        std::string AsString;
    };
    void Add(const std::string& name, std::string value = {}) {
        params_[name].AsString = std::move(value);
    }
    bool Has(const std::string& name) const { return params_.count(name) > 0; }
    // Raises corvana::Error when the report has no parameter of that name.
    TParam& ParamByName(const std::string& name);
    const TParam& ParamByName(const std::string& name) const;
    const std::map<std::string, TParam>& All() const { return params_; }

private:
    std::map<std::string, TParam> params_;
};

}  // namespace corvana::report

namespace Qrddlgs {
// True when the report's parameter list holds a parameter of that name.
bool ExistParam(const corvana::report::TReportParams& params, const std::string& name);
}  // namespace Qrddlgs
