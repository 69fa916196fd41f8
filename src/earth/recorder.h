#pragma once

#include "earth/applicationge.h"

#include <string>
#include <vector>

namespace tideplot {

// An ApplicationGE that keeps every call in order, for tests. GetCamera reports
// `view`, which SetCamera moves and a test may change as a user would turn the view.
class RecordingApplication : public ApplicationGE {
public:
    struct Call {
        enum Kind { LoadKmlData, GetCamera, SetCamera, ClearKmlData } kind;
        std::string kml;       // LoadKmlData
        int flag = 0;          // GetCamera
        CameraInfoGE camera{}; // SetCamera
        double speed = 0;      // SetCamera
    };

    void LoadKmlData(const std::string& kmlText) override { calls.push_back({Call::LoadKmlData, kmlText}); }
    CameraInfoGE GetCamera(int flag) override
    {
        calls.push_back({Call::GetCamera, {}, flag});
        return view;
    }
    void SetCamera(const CameraInfoGE& camera, double speed) override
    {
        calls.push_back({Call::SetCamera, {}, 0, camera, speed});
        view = camera;
    }

    void ClearKmlData() override { calls.push_back({Call::ClearKmlData, {}}); }

    std::vector<std::string> documents() const
    {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.kind == Call::LoadKmlData)
                out.push_back(c.kml);
        return out;
    }

    std::vector<Call> calls;
    CameraInfoGE view;
};

} // namespace tideplot
