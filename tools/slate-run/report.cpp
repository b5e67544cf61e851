#include "report.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace grade {

namespace {

bool StartsWith(const std::string& text, const char* start) {
  return text.rfind(start, 0) == 0;
}

// A double-quoted text of the TAP's YAML, as slate-run writes it.
std::string Unquote(const std::string& text) {
  if (text.size() < 2 || text.front() != '"') return text;
  std::string plain;
  for (size_t i = 1; i + 1 < text.size(); ++i) {
    if (text[i] == '\\' && i + 2 < text.size()) {
      char c = text[++i];
      plain += c == 'n' ? '\n' : c == 't' ? '\t' : c;
    } else {
      plain += text[i];
    }
  }
  return plain;
}

// The text with every byte that is not part of well-formed UTF-8, and
// every control character XML forbids, replaced: a program may print
// anything, and one bad byte would make a reader refuse the whole file.
std::string Clean(const std::string& text) {
  std::string clean;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = text[i];
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool ok = length > 0 && i + length <= text.size() && !(length == 2 && c < 0xc2);
    for (size_t k = 1; ok && k < length; ++k) ok = (static_cast<unsigned char>(text[i + k]) >> 6) == 2;
    if (ok && length == 1 && c < 0x20 && c != '\t' && c != '\n' && c != '\r') ok = false;
    if (ok) {
      clean.append(text, i, length);
      i += length;
    } else {
      clean += "\xEF\xBF\xBD";  // the replacement character
      ++i;
    }
  }
  return clean;
}

// Text for XML and HTML, in elements and in attributes.
std::string Escape(const std::string& text) {
  std::string escaped;
  for (char c : Clean(text)) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// A relative URL of a file: its path's bytes other than letters, digits
// and -._~/ percent-encoded.
std::string Url(const std::string& path) {
  std::string url;
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      url += static_cast<char>(c);
    } else {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", c);
      url += code;
    }
  }
  return url;
}

std::string CsvField(const std::string& text) {
  std::string clean = Clean(text);
  if (clean.find_first_of(",\"\n\r") == std::string::npos) return clean;
  std::string quoted = "\"";
  for (char c : clean) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string Fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string Seconds(const Submission& s) {
  return Fixed((s.Ended - s.Began) / 1000, 2);
}

std::string Score(const Submission& s) {
  return std::to_string(s.Score) + "/" + std::to_string(s.OutOf);
}

// A name fit for an HTML id.
std::string Anchor(const std::string& name) {
  return "s-" + Url(name);
}

const char* StateName(StepResult::State state) {
  switch (state) {
    case StepResult::Ok:
      return "ok";
    case StepResult::Failed:
      return "failed";
    case StepResult::Skipped:
      return "skipped";
    default:
      return "not run";
  }
}

}  // namespace

void ReadTap(const std::string& tap, const drive::Script& script, Submission* s) {
  s->Tap = tap;
  s->Steps.clear();
  s->Score = s->OutOf = 0;
  for (const drive::Step& step : script.Steps) {
    StepResult result;
    result.Line = step.Line;
    result.Source = step.Source;
    result.Points = step.Value();
    s->OutOf += result.Points;
    s->Steps.push_back(result);
  }
  std::istringstream lines(tap);
  StepResult* current = nullptr;
  bool yaml = false, output = false;
  std::string bail;
  for (std::string line; std::getline(lines, line);) {
    bool ok = StartsWith(line, "ok "), notOk = StartsWith(line, "not ok ");
    if (ok || notOk) {
      yaml = output = false;
      size_t number = std::strtoul(line.c_str() + (ok ? 3 : 7), nullptr, 10);
      size_t dash = line.find(" - ");
      std::string description = dash == std::string::npos ? "" : line.substr(dash + 3);
      if (number == 0) continue;
      if (number > s->Steps.size()) {
        s->Steps.emplace_back();
        current = &s->Steps.back();
        current->Source = description;
      } else {
        current = &s->Steps[number - 1];
      }
      size_t skip = description.find(" # SKIP ");
      if (skip != std::string::npos) {
        current->Result = StepResult::Skipped;
        current->Message = description.substr(skip + 8);
        continue;
      }
      current->Result = ok ? StepResult::Ok : StepResult::Failed;
      size_t open = description.rfind(" (");
      if (open != std::string::npos) {
        current->Seconds = std::strtod(description.c_str() + open + 2, nullptr);
        if (!current->Line) current->Source = description.substr(0, open);
      }
    } else if (line == "  ---") {
      yaml = true;
    } else if (line == "  ...") {
      yaml = false;
    } else if (yaml && current) {
      if (StartsWith(line, "  message: ")) current->Message = Unquote(line.substr(11));
      if (StartsWith(line, "  picture: ")) current->Picture = Unquote(line.substr(11));
      if (StartsWith(line, "  region: "))
        std::sscanf(line.c_str() + 10, "[%d, %d, %d, %d]", &current->Region[0], &current->Region[1],
                    &current->Region[2], &current->Region[3]);
      current->Caution = current->Result == StepResult::Ok;
    } else if (StartsWith(line, "Bail out! ")) {
      bail = line.substr(10);
    } else if (StartsWith(line, "# The program's standard ") || (output && StartsWith(line, "#   "))) {
      output = true;
      s->Output += line.substr(StartsWith(line, "#   ") ? 4 : 2) + "\n";
    }
  }
  for (StepResult& step : s->Steps) {
    if (step.Result == StepResult::Ok) step.Earned = step.Points;
    s->Score += step.Earned;
    if (step.Result == StepResult::Failed && s->FirstFailure.empty())
      s->FirstFailure = step.Line ? "line " + std::to_string(step.Line) + ": " + step.Source +
                                        (step.Message.empty() ? "" : ": " + step.Message)
                                  : step.Source;
  }
  if (!bail.empty() && s->FirstFailure.empty()) s->FirstFailure = bail;
}

std::string Csv(const drive::Script& script, const std::vector<Submission>& submissions) {
  std::string csv = "submission,verdict,score,out of,seconds,first failure";
  std::vector<size_t> scored;  // the steps worth points, a column each
  for (size_t i = 0; i < script.Steps.size(); ++i)
    if (script.Steps[i].Value() > 0) {
      scored.push_back(i);
      csv += ",line " + std::to_string(script.Steps[i].Line);
    }
  csv += "\n";
  for (const Submission& s : submissions) {
    csv += CsvField(s.Name) + "," + CsvField(s.Verdict) + "," + std::to_string(s.Score) + "," +
           std::to_string(s.OutOf) + "," + Seconds(s) + "," + CsvField(s.FirstFailure);
    for (size_t i : scored) csv += "," + std::to_string(i < s.Steps.size() ? s.Steps[i].Earned : 0);
    csv += "\n";
  }
  return csv;
}

std::string JUnit(const std::string& scriptName, const std::vector<Submission>& submissions,
                  const std::string& timestamp) {
  struct Counts {
    int Tests = 0, Failures = 0, Errors = 0, Skipped = 0;
  } all;
  std::string suites;
  double total = 0;
  for (const Submission& s : submissions) {
    Counts counts;
    std::string cases;
    auto testcase = [&](const std::string& name, double seconds, const std::string& inside) {
      ++counts.Tests;
      cases += "    <testcase classname=\"" + Escape(s.Name) + "\" name=\"" + Escape(name) + "\" time=\"" +
               Fixed(seconds, 3) + "\"" + (inside.empty() ? "/>\n" : ">\n" + inside + "    </testcase>\n");
    };
    // What kept the script from running at all: a case of its own.
    if (s.Verdict == "build failed" || s.Verdict == "not started" || s.Verdict == "not graded") {
      ++counts.Errors;
      testcase(s.Verdict == "build failed" ? "the build" : "the start", 0,
               "      <error message=\"" + Escape(s.FirstFailure) + "\" type=\"" + Escape(s.Verdict) + "\">" +
                   Escape(s.Verdict == "build failed" ? s.Build : s.FirstFailure) + "</error>\n");
    }
    double before = 0;
    for (const StepResult& step : s.Steps) {
      std::string name = step.Line ? "line " + std::to_string(step.Line) + ": " + step.Source
                                   : "the program's end: " + step.Source;
      std::string inside;
      if (step.Result == StepResult::Failed) {
        // The program's end failing is its crash or its X error: an error.
        bool error = !step.Line;
        ++(error ? counts.Errors : counts.Failures);
        std::string message = step.Message.empty() ? step.Source : step.Message;
        inside = std::string("      <") + (error ? "error" : "failure") + " message=\"" + Escape(message) +
                 "\" type=\"" + (error ? Escape(s.Verdict) : "expectation") + "\">" + Escape(message) +
                 (step.Picture.empty() ? "" : "\nthe window then: " + s.Name + "/" + step.Picture) + "</" +
                 (error ? "error" : "failure") + ">\n";
      } else if (step.Result != StepResult::Ok) {
        ++counts.Skipped;
        inside = "      <skipped message=\"" +
                 Escape(step.Result == StepResult::Skipped ? step.Message : std::string("not run")) +
                 "\"/>\n";
      }
      double seconds = step.Result == StepResult::Ok || step.Result == StepResult::Failed
                           ? std::max(0.0, step.Seconds - before)
                           : 0;
      if (step.Seconds > before) before = step.Seconds;
      testcase(name, seconds, inside);
    }
    double seconds = (s.Ended - s.Began) / 1000;
    total += seconds;
    all.Tests += counts.Tests, all.Failures += counts.Failures, all.Errors += counts.Errors,
        all.Skipped += counts.Skipped;
    suites += "  <testsuite name=\"" + Escape(s.Name) + "\" tests=\"" + std::to_string(counts.Tests) +
              "\" failures=\"" + std::to_string(counts.Failures) + "\" errors=\"" +
              std::to_string(counts.Errors) + "\" skipped=\"" + std::to_string(counts.Skipped) +
              "\" time=\"" + Fixed(seconds, 3) + "\" timestamp=\"" + timestamp +
              "\" hostname=\"localhost\">\n" + "    <properties>\n      <property name=\"verdict\" value=\"" +
              Escape(s.Verdict) + "\"/>\n      <property name=\"score\" value=\"" + std::to_string(s.Score) +
              "\"/>\n      <property name=\"points\" value=\"" + std::to_string(s.OutOf) +
              "\"/>\n    </properties>\n" + cases + "    <system-out>" + Escape(s.Tap) +
              "</system-out>\n    <system-err>" + Escape(s.Build) + "</system-err>\n  </testsuite>\n";
  }
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"" +
         Escape("slate-run " + scriptName) + "\" tests=\"" + std::to_string(all.Tests) + "\" failures=\"" +
         std::to_string(all.Failures) + "\" errors=\"" + std::to_string(all.Errors) + "\" skipped=\"" +
         std::to_string(all.Skipped) + "\" time=\"" + Fixed(total, 3) + "\">\n" + suites + "</testsuites>\n";
}

std::string Html(const std::string& scriptName, const std::vector<Submission>& submissions,
                 const std::string& timestamp) {
  int passed = 0;
  for (const Submission& s : submissions) passed += s.Passed();
  // Every picture says in the page whether it could be shown.
  auto image = [](const std::string& src, const std::string& alt, const char* kind) {
    return "<img class=\"" + std::string(kind) + "\" src=\"" + Escape(Url(src)) + "\" alt=\"" + Escape(alt) +
           "\" onload=\"this.dataset.state='loaded'\" onerror=\"this.dataset.state='broken'\">";
  };
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + Escape(scriptName) +
      ": " + std::to_string(submissions.size()) +
      " submissions</title>\n<style>\n"
      "body { font-family: sans-serif; margin: 2em; color: #222; }\n"
      "table { border-collapse: collapse; margin: 1em 0; }\n"
      "th, td { border: 1px solid #ccc; padding: 0.3em 0.6em; text-align: left; vertical-align: top; }\n"
      "th { background: #eee; }\n"
      "table.summary td:nth-child(-n+4), table.steps td:nth-child(-n+4) { white-space: nowrap; }\n"
      ".verdict { font-weight: bold; }\n"
      ".passed .verdict, tr.ok td.result { color: #060; }\n"
      ".failed .verdict, .crashed .verdict, .timed-out .verdict, .x-error .verdict, .not-started .verdict,\n"
      ".build-failed .verdict, tr.failed td.result { color: #b00; }\n"
      "tr.skipped, tr.not-run { color: #888; }\n"
      "section { border-top: 2px solid #ccc; margin-top: 2em; }\n"
      "figure { display: inline-block; margin: 0.5em 1em 0.5em 0; }\n"
      "img { border: 1px solid #888; max-width: 24em; }\n"
      "img.failure { display: block; margin-top: 0.4em; max-width: 16em; }\n"
      "pre { background: #f6f6f6; padding: 0.5em; overflow: auto; max-height: 20em; }\n"
      "</style>\n</head>\n<body>\n<h1>" +
      Escape(scriptName) + "</h1>\n<p>" + std::to_string(submissions.size()) + " submissions graded " +
      Escape(timestamp) + ": " + std::to_string(passed) + " passed, " +
      std::to_string(submissions.size() - passed) +
      " did not.</p>\n<table class=\"summary\">\n"
      "<tr><th>Submission</th><th>Verdict</th><th>Score</th><th>Time</th><th>First failure</th></tr>\n";
  auto kind = [](const std::string& verdict) {
    std::string css;
    for (char c : verdict) css += c == ' ' ? '-' : c;
    return css;
  };
  for (const Submission& s : submissions)
    html += "<tr class=\"" + kind(s.Verdict) + "\"><td><a href=\"#" + Anchor(s.Name) + "\">" +
            Escape(s.Name) + "</a></td><td class=\"verdict\">" + Escape(s.Verdict) + "</td><td>" + Score(s) +
            "</td><td>" + Seconds(s) + " s</td><td>" + Escape(s.FirstFailure) + "</td></tr>\n";
  html += "</table>\n";
  for (const Submission& s : submissions) {
    html += "<section id=\"" + Anchor(s.Name) + "\" class=\"submission " + kind(s.Verdict) +
            "\" data-verdict=\"" + Escape(s.Verdict) + "\">\n<h2>" + Escape(s.Name) +
            ": <span class=\"verdict\">" + Escape(s.Verdict) + "</span>, " + Score(s) + " points, " +
            Seconds(s) + " s</h2>\n";
    if (!s.Build.empty()) html += "<p>The build's output:</p>\n<pre>" + Escape(s.Build) + "</pre>\n";
    if (!s.Steps.empty()) {
      html +=
          "<table class=\"steps\">\n<tr><th>Line</th><th>Step</th><th>Result</th><th>Points</th><th>What "
          "happened</th></tr>\n";
      for (const StepResult& step : s.Steps) {
        html +=
            "<tr class=\"" + kind(StateName(step.Result)) + "\"><td>" +
            (step.Line ? std::to_string(step.Line) : std::string()) + "</td><td><code>" +
            Escape(step.Source) + "</code></td><td class=\"result\">" + StateName(step.Result) + "</td><td>" +
            (step.Points ? std::to_string(step.Earned) + "/" + std::to_string(step.Points) : std::string()) +
            "</td><td>" + Escape(step.Message);
        if (!step.Picture.empty())
          html += image(s.Name + "/" + step.Picture,
                        "the window when line " + std::to_string(step.Line) + " failed, the place ringed",
                        "failure");
        html += "</td></tr>\n";
      }
      html += "</table>\n";
    }
    for (const std::string& shot : s.Screenshots)
      html += "<figure>" + image(s.Name + "/" + shot, shot, "screenshot") + "<figcaption>" + Escape(shot) +
              "</figcaption></figure>\n";
    if (!s.Output.empty()) html += "<pre class=\"output\">" + Escape(s.Output) + "</pre>\n";
    html += "</section>\n";
  }
  return html + "</body>\n</html>\n";
}

}  // namespace grade
