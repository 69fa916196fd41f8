#include "ui/analysisrun.h"

#include "core/workpool.h"

#include <QThread>

#include <algorithm>

namespace tideplot {

namespace {

// How often a run under way is looked at for its end.
constexpr int kLookMs = 20;

} // namespace

AnalysisRun::AnalysisRun()
{
    look_.setInterval(kLookMs);
    look_.callOnTimeout([this] { lookAtJob(); });
}

AnalysisRun::~AnalysisRun()
{
    // Nothing waits: a cancelled job holds only its own copies, and stops at its next boat.
    cancel();
}

void AnalysisRun::start(std::vector<BoatSource> boats, std::function<void()> done, std::size_t mostSamplesKept,
                        std::optional<Course> course, std::vector<TypedWind> windLines)
{
    cancel();
    result_.reset();
    failure_.clear();
    AnalysisOptions options;
    // One processor stays with the windows and the replay.
    options.Threads = std::max(1, QThread::idealThreadCount() - 1);
    options.MostSamplesKept = mostSamplesKept;
    options.RaceCourse = std::move(course);
    options.WindLines = std::move(windLines);
    elapsed_.start();
    done_ = std::move(done);
    job_ = StartJob<RaceAnalysis>(
        [boats = std::move(boats), options](const std::atomic<bool>& cancel) mutable {
            options.Cancel = &cancel;
            return AnalyseRace(boats, options);
        },
        kAnalysisPriority);
    look_.start();
}

void AnalysisRun::lookAtJob()
{
    if (!job_ || !job_->ended())
        return;
    look_.stop();
    const std::shared_ptr<JobOutcome<RaceAnalysis>> job = std::move(job_);
    seconds_ = static_cast<double>(elapsed_.nsecsElapsed()) / 1e9;
    // Whatever went wrong on the way (a line that cannot be read, the memory) is the failure
    // the window shows.
    if (job->Result)
        result_ = std::make_unique<RaceAnalysis>(std::move(*job->Result));
    failure_ = job->Failure;
    if (const std::function<void()> done = std::move(done_))
        done();
}

void AnalysisRun::cancel()
{
    look_.stop();
    done_ = nullptr;
    if (job_)
        job_->Cancel.store(true);
    job_.reset();
}

void AnalysisRun::setWind(std::optional<double> windFromDeg)
{
    if (result_)
        SetWind(*result_, windFromDeg);
}

} // namespace tideplot
