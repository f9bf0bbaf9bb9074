#include "directory/directory_client.h"

#include "directory/directory_queries.h"
#include "directory/worker_thread.h"

namespace zv {

namespace {

const std::string kBusy = "the directory is busy: " + std::to_string(TDirectoryClient::kQueueLimit) +
                          " questions are waiting for it already";

}  // namespace

TDirectoryClient::TDirectoryClient(Deliver deliver)
    : deliver_(std::move(deliver)),
      config_(std::make_shared<const TDirectoryConfig>()),
      questions_(std::make_unique<TWorkerThread>(kQueueLimit)),
      sync_(std::make_unique<TWorkerThread>(2)) {}

TDirectoryClient::~TDirectoryClient() {
    questions_.reset();
    sync_.reset();
}

void TDirectoryClient::setConfig(const TDirectoryConfig& config) {
    auto copy = std::make_shared<const TDirectoryConfig>(config);
    std::lock_guard lock(mutex_);
    config_ = std::move(copy);
}

TDirectoryConfig TDirectoryClient::config() const {
    std::lock_guard lock(mutex_);
    return *config_;
}

template <class Answer>
void TDirectoryClient::ask(TWorkerThread& worker, std::function<Answer(const TDirectoryConfig&)> question,
                           std::function<void(Answer)> done, Answer busy) {
    std::shared_ptr<const TDirectoryConfig> config;
    {
        std::lock_guard lock(mutex_);
        config = config_;
    }
    auto shared = std::make_shared<std::function<void(Answer)>>(std::move(done));
    const bool queued = worker.tryPost([this, config, question = std::move(question), shared] {
        Answer answer = question(*config);
        deliver_([shared, answer = std::move(answer)]() mutable { (*shared)(std::move(answer)); });
    });
    if (!queued) deliver_([shared, busy = std::move(busy)]() mutable { (*shared)(std::move(busy)); });
}

void TDirectoryClient::checkPassword(const std::string& name, const std::string& password,
                                     std::function<void(TDirectorySignIn)> done) {
    TDirectorySignIn busy;
    busy.outcome = TDirectorySignIn::Outcome::Unavailable;
    busy.why = kBusy;
    ask<TDirectorySignIn>(
        *questions_,
        [name, password](const TDirectoryConfig& config) {
            return checkDirectoryPassword(config, name, password);
        },
        std::move(done), std::move(busy));
}

void TDirectoryClient::lookUp(const std::string& name, std::function<void(TDirectoryLookup)> done) {
    TDirectoryLookup busy;
    busy.why = kBusy;
    ask<TDirectoryLookup>(
        *questions_, [name](const TDirectoryConfig& config) { return lookUpName(config, name); },
        std::move(done), std::move(busy));
}

void TDirectoryClient::readPeople(std::function<void(TDirectoryPeople)> done) {
    TDirectoryPeople busy;
    busy.why = "a read of the group's people is under way already";
    ask<TDirectoryPeople>(
        *sync_, [](const TDirectoryConfig& config) { return readGroupPeople(config); }, std::move(done),
        std::move(busy));
}

}  // namespace zv
