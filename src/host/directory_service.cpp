#include "host/directory_service.h"

#include "directory/directory_client.h"
#include "host/admin_audit.h"
#include "host/maintenance_api.h"
#include "host/office_settings.h"
#include "host/platform_info.h"
#include "host/server_parts.h"
#include "net/loop_timer.h"
#include "stores/code_page.h"
#include "stores/directory_link_store.h"
#include "stores/file_access.h"
#include "stores/store_error.h"

namespace zv {

namespace {

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
    return text;
}

}  // namespace

TDirectoryService::TDirectoryService(TServerParts& parts, TMaintenanceApi& api) : parts_(parts), api_(api) {
    client_ = std::make_unique<TDirectoryClient>(onMainLoop());
}

TDirectoryService::~TDirectoryService() {
    alive_.reset();
    timer_.reset();
    client_.reset();
}

std::function<void(std::function<void()>)> TDirectoryService::onMainLoop() {
    std::weak_ptr<bool> alive = alive_;
    std::shared_ptr<TLoopHandle> loop = parts_.mainLoop.handle();
    return [alive, loop](std::function<void()> task) {
        loop->post([alive, task = std::move(task)] {
            if (alive.lock()) task();
        });
    };
}

void TDirectoryService::start() {
    if (!timer_) {
        try {
            timer_ = std::make_unique<TLoopTimer>(parts_.mainLoop, TLoopTimer::Clock::Monotonic,
                                                  [this](bool) { syncNow({}); });
        } catch (const std::exception& e) {
            parts_.view.showMessage(
                MessageKind::Warning,
                std::string("The hourly directory sync cannot be scheduled: ") + e.what());
        }
    }
    if (!parts_.settings.DirectoryURI.empty() && !parts_.settings.DirectoryGroup.empty())
        syncNow({});
    else
        schedule();
}

void TDirectoryService::stop() {
    if (timer_) timer_->cancel();
}

void TDirectoryService::schedule() {
    if (timer_ && parts_.serving) timer_->startAfter(kSyncEvery);
}

TDIRList* TDirectoryService::links() {
    try {
        parts_.stores.loadDirectoryLinks();
        return &parts_.stores.directoryLinks();
    } catch (const StoreError& e) {
        trouble(std::string("\"") + kDirectoryLinkFileName + "\" cannot be read: " + e.what());
        return nullptr;
    }
}

void TDirectoryService::trouble(const std::string& why) {
    if (why == troubleTold_) return;
    troubleTold_ = why;
    parts_.view.logLine(LinePriority::Warning, std::string(programName()) + ": the directory: " + why);
}

void TDirectoryService::answered() {
    if (troubleTold_.empty()) return;
    troubleTold_.clear();
    parts_.view.logLine(LinePriority::Notice, std::string(programName()) + ": the directory answers again");
}

void TDirectoryService::checkPassword(const std::string& name, const std::string& password,
                                      std::function<void(const TDirectoryCheck&)> done) {
    std::vector<std::string> problems;
    client_->setConfig(directoryConfigOf(parts_.settings, &problems));
    if (!problems.empty()) {
        TDirectoryCheck check;
        check.answer.outcome = TDirectorySignIn::Outcome::Unavailable;
        check.answer.why = "the [Directory] settings are wrong: " + joined(problems);
        onMainLoop()([done = std::move(done), check] { done(check); });
        return;
    }
    client_->checkPassword(name, password, [this, done = std::move(done)](TDirectorySignIn answer) {
        TDirectoryCheck check;
        if (answer.outcome == TDirectorySignIn::Outcome::Unavailable)
            trouble(answer.why);
        else
            answered();
        if (answer.outcome == TDirectorySignIn::Outcome::Accepted)
            check.employee = boardAccountOf(answer.person);
        check.answer = std::move(answer);
        done(check);
    });
}

std::string TDirectoryService::boardAccountOf(const TDirectoryPerson& person) {
    const TDIRList* linked = links();
    if (!linked) return {};
    if (const TDIRNode* link = linked->findByPerson(person.login))
        return api_.account(link->Employee) ? link->Employee : std::string();
    // Not made by the sync (a directory without Group, or a sync still to
    // come): the account of the person's key, as the sync would take it over,
    // unless it is another person's.
    std::vector<std::string> problems;
    const std::string key = directoryBoardKey(person, problems);
    if (key.empty() || !api_.account(key)) return {};
    for (int i = 0; i < linked->getCount(); ++i) {
        if (linked->getNode(i).Employee == key) return {};
    }
    return key;
}

void TDirectoryService::lookUp(const std::string& name, std::function<void(const TDirectoryLookup&)> done) {
    std::vector<std::string> problems;
    client_->setConfig(directoryConfigOf(parts_.settings, &problems));
    if (!problems.empty()) {
        TDirectoryLookup lookup;
        lookup.why = "the [Directory] settings are wrong: " + joined(problems);
        onMainLoop()([done = std::move(done), lookup] { done(lookup); });
        return;
    }
    client_->lookUp(name, [done = std::move(done)](TDirectoryLookup lookup) { done(lookup); });
}

void TDirectoryService::syncNow(const std::string& who,
                                std::function<void(const TDirectorySyncReport&)> done) {
    if (!who.empty()) auditAdminChange(parts_.view, who, "asked for a directory sync");
    if (done) waiting_.push_back(std::move(done));
    if (syncing_) return;
    std::vector<std::string> problems;
    const TDirectoryConfig config = directoryConfigOf(parts_.settings, &problems);
    if (config.group.empty()) problems.push_back("Group is empty: no people are taken from the directory");
    if (!config.configured()) problems = {"no directory is set ([Directory] URI is empty)"};
    if (!problems.empty()) {
        TDirectorySyncReport report;
        report.at = std::time(nullptr);
        report.why = joined(problems);
        onMainLoop()([this, report] { finishSync(report); });
        syncing_ = true;
        return;
    }
    syncing_ = true;
    client_->setConfig(config);
    client_->readPeople([this](TDirectoryPeople people) {
        // The board changes as a client's step does: in turn, under the
        // session mutex.
        std::weak_ptr<bool> alive = alive_;
        parts_.sessionMutex.postStep(parts_.mainLoop, [this, alive, people = std::move(people)] {
            if (alive.lock()) peopleRead(people);
        });
    });
}

void TDirectoryService::peopleRead(const TDirectoryPeople& people) {
    TDirectorySyncReport report;
    report.at = std::time(nullptr);
    if (!people.reached) {
        report.why = people.why;
        return finishSync(report);
    }
    answered();
    TDIRList* linked = links();
    if (!parts_.serving || !linked) {
        report.why = linked ? "the server is not serving" : "the accounts of the directory cannot be read";
        return finishSync(report);
    }
    try {
        // Each file the sync changes is written once, at the end, however
        // many accounts it made: a first sync of a few hundred people does
        // not keep the clients waiting for as many saves.
        fileio::TDirectorySyncBatch saves;
        report = applyDirectoryPeople(api_, *linked, people.people, people.skipped);
        saves.commit();
    } catch (const std::exception& e) {
        // A save that failed: the board keeps what was saved before it.
        report.why = std::string("the sync stopped: ") + e.what();
        parts_.stores.forgetDirectoryLinks();  // read again from the file next time
    }
    finishSync(report);
}

void TDirectoryService::finishSync(const TDirectorySyncReport& report) {
    last_ = report;
    syncing_ = false;
    const std::string program = programName();
    if (report.reached)
        parts_.view.logLine(LinePriority::Notice, program + ": directory sync: " + report.summary());
    else
        trouble("no sync: " + report.why);  // told once while it lasts
    for (const std::string& problem : report.problems)
        parts_.view.logLine(LinePriority::Warning, program + ": directory sync: " + problem);
    std::vector<std::function<void(const TDirectorySyncReport&)>> waiting;
    waiting.swap(waiting_);
    for (const auto& done : waiting) done(report);
    schedule();
}

std::vector<TDirectoryLeaver> TDirectoryService::leavers() {
    const TDIRList* linked =
        parts_.settings.DirectoryURI.empty() && !parts_.stores.directoryLinksLoaded() ? nullptr : links();
    return linked ? directoryLeavers(api_, *linked) : std::vector<TDirectoryLeaver>{};
}

}  // namespace zv
