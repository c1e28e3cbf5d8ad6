// The metrics, the status page and the terminal's station table.
#include "bus/status_views.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "common/constants.h"
#include "common/cp1252.h"
#include "common/text.h"

namespace velora {

namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The 8-bit text in UTF-8, each byte passed through `special` first: what it returns stands for
// the byte, or nothing to keep the byte's character.
template <typename Special>
std::string Utf8Of(std::string_view text, Special special) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const std::string_view replaced = special(static_cast<unsigned char>(c));
    out += replaced.empty() ? Cp1252ToUtf8(std::string_view(&c, 1)) : std::string(replaced);
  }
  return out;
}

std::string Html(std::string_view text) {
  return Utf8Of(text, [](unsigned char b) -> std::string_view {
    switch (b) {
      case '&':
        return "&amp;";
      case '<':
        return "&lt;";
      case '>':
        return "&gt;";
      case '"':
        return "&quot;";
      case '\'':
        return "&#39;";
    }
    return IsControlByte(b) ? Replacement : std::string_view();
  });
}

std::string LabelValue(std::string_view text) {
  return Utf8Of(text, [](unsigned char b) -> std::string_view {
    switch (b) {
      case '\\':
        return "\\\\";
      case '"':
        return "\\\"";
      case '\n':
        return "\\n";
    }
    return IsControlByte(b) ? Replacement : std::string_view();
  });
}

// Milliseconds as decimal seconds, exactly: 25 -> "0.025", 1500 -> "1.5".
std::string Seconds(std::uint64_t ms) {
  std::string text = std::to_string(ms / 1000);
  std::uint64_t fraction = ms % 1000;
  if (fraction == 0) return text;
  char digits[5];
  std::snprintf(digits, sizeof digits, ".%03u", static_cast<unsigned>(fraction));
  text += digits;
  while (text.back() == '0')
    text.pop_back();
  return text;
}

// The metrics text, family by family.
class Exposition {
 public:
  void Family(std::string_view name, std::string_view type, std::string_view help) {
    text_ += "# HELP " + std::string(name) + " " + std::string(help) + "\n# TYPE " +
             std::string(name) + " " + std::string(type) + "\n";
  }
  void Sample(std::string_view name, std::string_view labels, const std::string& value) {
    text_ += name;
    if (!labels.empty()) text_ += "{" + std::string(labels) + "}";
    text_ += " " + value + "\n";
  }
  void Sample(std::string_view name, std::string_view labels, std::uint64_t value) {
    Sample(name, labels, std::to_string(value));
  }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

std::string Label(std::string_view name, std::string_view value) {
  return std::string(name) + "=\"" + LabelValue(value) + "\"";
}

std::string StationLabels(const StationRow& row) {
  return Label("address", std::to_string(row.address)) + "," + Label("name", row.name);
}

// A count with a second one in brackets: "12 (3)".
std::string WithRun(std::uint64_t total, std::uint64_t run) {
  return std::to_string(total) + " (" + std::to_string(run) + ")";
}

std::string LastHeard(const StationRow& row, std::uint32_t nowTick, std::string_view never) {
  if (!row.figures.heard) return std::string(never);
  return Seconds(((nowTick - row.figures.lastHeardTick) / 100) * 100) + " s";
}

// The page's names of the drop reasons and removal causes, in their enums' order.
constexpr std::array<std::string_view, DropReasonCount> DropLabels{
    "Prüfsumme falsch",        "Länge zu klein",   "an eine andere Adresse",
    "unvollständig, überholt", "fremder Absender", "Teil außer der Reihe"};
constexpr std::array<std::string_view, RemovalCauseCount> RemovalLabels{
    "abgemeldet", "zu lange stumm", "nie geantwortet", "vom Administrator entfernt",
    "neu angemeldet"};

void TableRow(std::string& page, std::string_view heading, const std::string& value) {
  page += "<tr><th>" + std::string(heading) + "</th><td>" + value + "</td></tr>\n";
}

// The cycle times of the last minutes as a line over a scale from 0 to the next full 100 ms.
std::string CycleGraph(const std::vector<std::uint32_t>& times) {
  constexpr int Width = 600, Height = 150, Left = 48, Top = 10;
  if (times.empty()) return "<p>Noch kein Zyklus gemessen.</p>\n";
  const std::uint32_t highest = *std::max_element(times.begin(), times.end());
  const std::uint32_t scale = (highest / 100 + 1) * 100;
  std::string svg = "<svg id=\"cycle-graph\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    std::to_string(Left + Width + 10) + "\" height=\"" +
                    std::to_string(Top + Height + 20) + "\" role=\"img\">\n";
  svg += "<rect x=\"" + std::to_string(Left) + "\" y=\"" + std::to_string(Top) + "\" width=\"" +
         std::to_string(Width) + "\" height=\"" + std::to_string(Height) +
         "\" fill=\"#fff\" stroke=\"#888\"/>\n";
  svg += "<text x=\"" + std::to_string(Left - 4) + "\" y=\"" + std::to_string(Top + 10) +
         "\" text-anchor=\"end\">" + std::to_string(scale) + " ms</text>\n";
  svg += "<text x=\"" + std::to_string(Left - 4) + "\" y=\"" + std::to_string(Top + Height) +
         "\" text-anchor=\"end\">0</text>\n";
  svg += "<polyline fill=\"none\" stroke=\"#1a5fb4\" stroke-width=\"1.5\" points=\"";
  const double step = times.size() > 1 ? double(Width) / double(times.size() - 1) : 0;
  for (std::size_t i = 0; i < times.size(); ++i) {
    char point[48];
    std::snprintf(point, sizeof point, "%s%.1f,%.1f", i == 0 ? "" : " ",
                  Left + step * static_cast<double>(i),
                  Top + Height - double(Height) * times[i] / scale);
    svg += point;
  }
  svg += "\"/>\n<text x=\"" + std::to_string(Left) + "\" y=\"" + std::to_string(Top + Height + 16) +
         "\">die letzten " + std::to_string(times.size()) + " Zyklen</text>\n</svg>\n";
  return svg;
}

}  // namespace

StatusSnapshot TakeSnapshot(const Server& server) {
  StatusSnapshot s;
  s.running = server.Running();
  s.now = server.LocalNow();
  s.nowTick = server.NowTickMs();
  s.runSeconds = server.RunSeconds();
  s.cycles = server.Stats().cycles;
  s.lastCycleMs = server.Cycle().lastCycleMs;
  s.network = server.Figures();
  s.counts = server.Counts();
  s.stations = server.StationRows();
  return s;
}

std::string FormatMetrics(const StatusSnapshot& s) {
  Exposition m;
  const NetworkFigures& n = s.network;
  m.Family("velora_stations", "gauge", "Calculators registered now.");
  m.Sample("velora_stations", "", s.stations.size());
  m.Family("velora_cycles_total", "counter", "Polling cycles since the server started.");
  m.Sample("velora_cycles_total", "", s.cycles);

  m.Family("velora_cycle_duration_seconds", "histogram",
           "Duration of the polling cycles since the server started.");
  const auto cumulative = n.cycleTimes.Cumulative();
  for (std::size_t i = 0; i < CycleTimes::BoundsMs.size(); ++i) {
    m.Sample("velora_cycle_duration_seconds_bucket", Label("le", Seconds(CycleTimes::BoundsMs[i])),
             cumulative[i]);
  }
  m.Sample("velora_cycle_duration_seconds_bucket", Label("le", "+Inf"), cumulative.back());
  m.Sample("velora_cycle_duration_seconds_sum", "", Seconds(n.cycleTimes.SumMs()));
  m.Sample("velora_cycle_duration_seconds_count", "", n.cycleTimes.Count());

  m.Family("velora_frames_dropped_total", "counter", "Frames heard and not taken, by reason.");
  for (std::size_t i = 0; i < DropReasonCount; ++i) {
    const auto reason = static_cast<DropReason>(i);
    m.Sample("velora_frames_dropped_total", Label("reason", DropReasonName(reason)),
             n.Dropped(reason));
  }
  m.Family("velora_registrations_total", "counter", "Registrations of calculators.");
  m.Sample("velora_registrations_total", "", n.registrations);
  m.Family("velora_removals_total", "counter", "Stations that left the table, by cause.");
  for (std::size_t i = 0; i < RemovalCauseCount; ++i) {
    const auto cause = static_cast<RemovalCause>(i);
    m.Sample("velora_removals_total", Label("cause", RemovalCauseName(cause)), n.Removals(cause));
  }
  m.Family("velora_messages_total", "counter", "Messages from user to user.");
  m.Sample("velora_messages_total", "", s.counts.messages);
  m.Family("velora_mails_total", "counter",
           "E-mails sent and fetched; a failed one is a conversation with a mail server that "
           "failed.");
  m.Sample("velora_mails_total", "kind=\"sent\",result=\"ok\"", s.counts.mailsSent);
  m.Sample("velora_mails_total", "kind=\"sent\",result=\"failed\"", s.counts.mailsSentFailed);
  m.Sample("velora_mails_total", "kind=\"fetched\",result=\"ok\"", s.counts.mailsFetched);
  m.Sample("velora_mails_total", "kind=\"fetched\",result=\"failed\"", s.counts.fetchesFailed);
  m.Family("velora_saves_total", "counter", "Saves of users.txt and resfdbck.txt.");
  m.Sample("velora_saves_total", "result=\"ok\"", n.savesOk);
  m.Sample("velora_saves_total", "result=\"failed\"", n.savesFailed);

  struct PerStation {
    std::string_view name, help;
    std::uint64_t StationFigures::*value;
  };
  const PerStation perStation[] = {
      {"velora_station_frames_sent_total", "Frames sent to the station since its registration.",
       &StationFigures::framesSent},
      {"velora_station_frames_received_total",
       "Frames received from the station since its registration.", &StationFigures::framesReceived},
      {"velora_station_resends_total",
       "Packets sent to the station again because it had not acknowledged them.",
       &StationFigures::resends},
      {"velora_station_silent_turns_total", "Turns in which the station did not answer.",
       &StationFigures::silentTurns},
  };
  for (const PerStation& family : perStation) {
    m.Family(family.name, "counter", family.help);
    for (const StationRow& row : s.stations)
      m.Sample(family.name, StationLabels(row), row.figures.*family.value);
  }
  m.Family("velora_station_last_heard_seconds", "gauge",
           "Seconds since the station was last heard; no sample for a station not heard since "
           "its registration.");
  for (const StationRow& row : s.stations) {
    if (!row.figures.heard) continue;
    m.Sample("velora_station_last_heard_seconds", StationLabels(row),
             Seconds(s.nowTick - row.figures.lastHeardTick));
  }
  return m.Take();
}

std::string FormatStatusPage(const StatusSnapshot& s, int refreshSeconds) {
  const NetworkFigures& n = s.network;
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"refresh\" content=\"" +
      std::to_string(refreshSeconds) +
      "\">\n<title>Velora Server</title>\n<style>\n"
      "body{font-family:sans-serif;font-size:14px;margin:1em}\n"
      "table{border-collapse:collapse;margin-bottom:1em}\n"
      "th,td{border:1px solid #bbb;padding:2px 6px;text-align:right}\n"
      "th{background:#eee}\ntd{white-space:nowrap}\n.name{text-align:left;white-space:pre}\n"
      "svg text{font-size:11px}\n</style>\n</head>\n<body>\n<h1>Velora Server</h1>\n";
  page += "<p>" + FormatDateTimeC(s.now) + (s.running ? ", Server läuft" : ", Server gestoppt") +
          "</p>\n<table id=\"counters\">\n";
  TableRow(page, "Angemeldete TIs:", std::to_string(s.stations.size()));
  TableRow(page, "Laufzeit des Servers:", FormatUptime(s.runSeconds));
  TableRow(page, "Status:", s.cycles > 1 ? std::to_string(s.lastCycleMs) + " ms" : "---");
  TableRow(page, "Zyklen:", std::to_string(s.cycles));
  page += "</table>\n";

  page +=
      "<h2>Stationen</h2>\n<table id=\"stations\">\n<tr><th>TI Nr.</th><th>Adresse</th>"
      "<th class=\"name\">Name</th><th>Typ</th><th class=\"name\">Benutzer</th>"
      "<th>angemeldet seit</th><th>zuletzt gehört vor</th><th>Pakete gesendet</th>"
      "<th>empfangen</th><th>wiederholt (längste Folge)</th>"
      "<th>ohne Antwort (jetzt in Folge)</th></tr>\n";
  for (const StationRow& row : s.stations) {
    const StationFigures& f = row.figures;
    page += "<tr><td>" + std::to_string(row.tiNumber) + "</td><td>" + std::to_string(row.address) +
            "</td><td class=\"name\">" + Html(row.name) + "</td><td>" +
            std::string(CalcTypeName(row.model)) + "</td><td class=\"name\">" + Html(row.account) +
            "</td><td>" + FormatDateTimeC(f.registeredAt) + "</td><td>" +
            LastHeard(row, s.nowTick, "nie") + "</td><td>" + std::to_string(f.framesSent) +
            "</td><td>" + std::to_string(f.framesReceived) + "</td><td>" +
            WithRun(f.resends, f.longestResendRun) + "</td><td>" +
            WithRun(f.silentTurns, f.silentRun) + "</td></tr>\n";
  }
  page += "</table>\n<h2>Zykluszeit</h2>\n" + CycleGraph(n.cycleTimes.Recent());

  page += "<h2>Netz</h2>\n<table id=\"network\">\n";
  TableRow(page, "Anmeldungen:", std::to_string(n.registrations));
  for (std::size_t i = 0; i < RemovalCauseCount; ++i) {
    TableRow(page, "Abmeldungen, " + std::string(RemovalLabels[i]) + ":",
             std::to_string(n.removals[i]));
  }
  for (std::size_t i = 0; i < DropReasonCount; ++i) {
    TableRow(page, "verworfene Pakete, " + std::string(DropLabels[i]) + ":",
             std::to_string(n.dropped[i]));
  }
  TableRow(page, "Nachrichten:", std::to_string(s.counts.messages));
  TableRow(page, "E-Mails gesendet (fehlgeschlagen):",
           WithRun(s.counts.mailsSent, s.counts.mailsSentFailed));
  TableRow(page, "E-Mails abgeholt (Abholen fehlgeschlagen):",
           WithRun(s.counts.mailsFetched, s.counts.fetchesFailed));
  TableRow(page, "Gespeichert (fehlgeschlagen):", WithRun(n.savesOk, n.savesFailed));
  page += "</table>\n</body>\n</html>\n";
  return page;
}

std::vector<std::string> FormatStationTable(const StatusSnapshot& s) {
  std::vector<std::string> lines{
      " TI addr name     model account  registered          last heard  sent  received  "
      "resent (longest)  silent (now)"};
  for (const StationRow& row : s.stations) {
    const StationFigures& f = row.figures;
    char line[256];
    std::snprintf(line, sizeof line, "%3d %4u %-8s %-5s %-8s %-19s %10s %5llu %9llu %17s %13s",
                  row.tiNumber, row.address, EscapeControlBytes(row.name).c_str(),
                  std::string(CalcTypeName(row.model)).c_str(),
                  EscapeControlBytes(row.account).c_str(), FormatDateTimeC(f.registeredAt).c_str(),
                  LastHeard(row, s.nowTick, "never").c_str(),
                  static_cast<unsigned long long>(f.framesSent),
                  static_cast<unsigned long long>(f.framesReceived),
                  WithRun(f.resends, f.longestResendRun).c_str(),
                  WithRun(f.silentTurns, f.silentRun).c_str());
    lines.emplace_back(line);
  }
  return lines;
}

}  // namespace velora
