#include "ui/analysisrun.h"

#include "ui/workpool.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <exception>

namespace tideplot {

namespace {

struct Outcome {
    std::shared_ptr<RaceAnalysis> Race;
    std::string Failure;
};

} // namespace

struct AnalysisRun::Job {
    std::shared_ptr<std::atomic<bool>> Cancel = std::make_shared<std::atomic<bool>>(false);
    QFuture<Outcome> Future;
    QFutureWatcher<Outcome> Watcher;
    QElapsedTimer Elapsed;
};

AnalysisRun::AnalysisRun() = default;

AnalysisRun::~AnalysisRun()
{
    cancel();
    for (const std::shared_ptr<Job>& job : cancelled_)
        job->Future.waitForFinished();
}

void AnalysisRun::start(std::vector<BoatSource> boats, std::function<void()> done, std::size_t mostSamplesKept,
                        std::optional<Course> course, std::vector<TypedWind> windLines)
{
    cancel();
    result_.reset();
    failure_.clear();
    auto job = std::make_shared<Job>();
    job->Elapsed.start();
    AnalysisOptions options;
    // One processor stays with the windows and the replay.
    options.Threads = std::max(1, QThread::idealThreadCount() - 1);
    options.MostSamplesKept = mostSamplesKept;
    options.RaceCourse = std::move(course);
    options.WindLines = std::move(windLines);
    job->Future =
        QtConcurrent::run(&LongWorkPool(), [boats = std::move(boats), options, cancel = job->Cancel]() mutable {
            options.Cancel = cancel.get();
            Outcome outcome;
            try {
                outcome.Race = std::make_shared<RaceAnalysis>(AnalyseRace(boats, options));
            } catch (const AnalysisCancelled&) {
            } catch (const std::exception& e) {
                outcome.Failure = e.what();
            }
            return outcome;
        });
    Job* running = job.get();
    QObject::connect(&job->Watcher, &QFutureWatcher<Outcome>::finished, &job->Watcher,
                     [this, running, done = std::move(done)] {
                         if (job_.get() != running)
                             return;
                         Outcome outcome = running->Future.result();
                         seconds_ = running->Elapsed.nsecsElapsed() / 1e9;
                         // The job goes only after its watcher has returned from this call.
                         std::shared_ptr<Job> finished = std::move(job_);
                         if (outcome.Race)
                             result_ = std::make_unique<RaceAnalysis>(std::move(*outcome.Race));
                         failure_ = outcome.Failure;
                         if (done)
                             done();
                         QObject::disconnect(&finished->Watcher, nullptr, nullptr, nullptr);
                         cancelled_.push_back(std::move(finished)); // deleted with the next start or cancel
                     });
    job->Watcher.setFuture(job->Future);
    job_ = std::move(job);
}

void AnalysisRun::cancel()
{
    // Runs whose workers have finished are let go.
    cancelled_.erase(std::remove_if(cancelled_.begin(), cancelled_.end(),
                                    [](const std::shared_ptr<Job>& job) { return job->Future.isFinished(); }),
                     cancelled_.end());
    if (!job_)
        return;
    job_->Cancel->store(true);
    QObject::disconnect(&job_->Watcher, nullptr, nullptr, nullptr);
    cancelled_.push_back(std::move(job_));
}

void AnalysisRun::setWind(std::optional<double> windFromDeg)
{
    if (result_)
        SetWind(*result_, windFromDeg);
}

} // namespace tideplot
