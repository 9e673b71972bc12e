// board.json: defaults, reading, and noticing changes.
#include "sim/board_config.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <filesystem>

#include "platform/log_hook.h"
#include "platform/paths.h"

namespace sim {

BoardConfig::BoardConfig(std::string path) : path_(std::move(path)), json_(defaults()) {}

QJsonObject BoardConfig::defaults()
{
    return QJsonObject{
        {"soc_id_words", QJsonArray{0, 0, 0}},
        {"ethernet", true},
    };
}

void BoardConfig::load()
{
    QFile f(QString::fromStdString(path_));
    if (!f.exists() && f.open(QIODevice::WriteOnly)) {
        f.write(QJsonDocument(defaults()).toJson());
        f.close();
    }
    read_file();
}

bool BoardConfig::poll() { return read_file(); }

// Compares the whole text with the last one read: the file is small, and a modification
// time alone misses two writes within one timestamp tick.
bool BoardConfig::read_file()
{
    QFile f(QString::fromStdString(path_));
    if (!f.open(QIODevice::ReadOnly))
        return false;  // deleted or unreadable: keep what we have
    const QByteArray text = f.readAll();
    std::lock_guard<std::mutex> lk(mu_);
    if (generation_ > 0 && text == seen_text_)
        return false;
    seen_text_ = text;
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(text, &err);
    if (!doc.isObject()) {
        platform::log(platform::kLogWarning,
                      path_ + ": not a JSON object (" + err.errorString().toStdString() + "), kept the previous board");
        return false;
    }
    json_ = doc.object();
    ++generation_;
    return true;
}

QJsonObject BoardConfig::json() const
{
    std::lock_guard<std::mutex> lk(mu_);
    return json_;
}

uint64_t BoardConfig::generation() const
{
    std::lock_guard<std::mutex> lk(mu_);
    return generation_;
}

bool BoardConfig::ethernet() const { return json().value("ethernet").toBool(true); }

int BoardConfig::write_fault(const std::string& real_path) const
{
    const std::string path = std::filesystem::path(real_path).lexically_normal().string();
    for (const QJsonValue v : json().value("write_fail").toArray()) {
        std::string full = v.toString().toStdString();
        if (full.empty() || full[0] != '/')
            continue;
        full = std::filesystem::path(platform::rooted(full)).lexically_normal().string();
        while (full.size() > 1 && full.back() == '/')
            full.pop_back();
        if (path == full || path.compare(0, full.size() + 1, full + "/") == 0)
            return ENOSPC;
    }
    return 0;
}

std::array<uint16_t, 3> BoardConfig::soc_id_words() const
{
    const QJsonArray a = json().value("soc_id_words").toArray();
    std::array<uint16_t, 3> w{0, 0, 0};
    for (int i = 0; i < 3 && i < a.size(); ++i)
        w[i] = uint16_t(a[i].toInt(0) & 0xFFFF);
    return w;
}

}  // namespace sim
