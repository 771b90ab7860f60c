// Input decks for tests, built from their values: every record in its
// layout, numbers in their shortest form that reads back exactly.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace kelvorat::testing {

struct DeckBuilder {
  std::vector<std::pair<double, double>> wells = {{50, 0}};  // XO, YO in deck order
  int nobs = -1;                                             // record 1; -1: the number of wells
  double XW = 100, YW = 0, RW = 0.1;
  double T1 = 500, S1 = 0.001, T2 = 200, S2 = 0.002, T3 = 400, S3 = 0.0005;
  double XLB = 300, XRB = 1000, DN = 5;
  double K = 0.2, thickness = 0.5;
  double Q = 1000, STOPT = 0, T0 = 0.5, T0STEP = 0.5, TA = 2;
  std::int32_t NT = 6, IPRT = 0;
  std::int32_t NTERMS = 10;
  double ERRMAX = 1e-7;

  DeckBuilder& zones(double t1, double s1, double t2, double s2, double t3, double s3) {
    T1 = t1, S1 = s1, T2 = t2, S2 = s2, T3 = t3, S3 = s3;
    return *this;
  }
  DeckBuilder& times(double q, double stopt, double t0, double t0step, double ta) {
    Q = q, STOPT = stopt, T0 = t0, T0STEP = t0step, TA = ta;
    return *this;
  }
  DeckBuilder& steps(std::int32_t nt, std::int32_t iprt = 0) {
    NT = nt, IPRT = iprt;
    return *this;
  }
  DeckBuilder& terms(std::int32_t nterms, double errmax) {
    NTERMS = nterms, ERRMAX = errmax;
    return *this;
  }

  static std::string num(double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
  }
  static std::string pair(double a, double b) { return num(a) + " " + num(b) + "\n"; }

  std::string text() const {
    std::string d = std::to_string(nobs < 0 ? static_cast<int>(wells.size()) : nobs) + "\n";
    d += pair(wells.at(0).first, wells.at(0).second);
    d += pair(XW, YW) + num(RW) + "\n";
    d += pair(T1, S1) + pair(T2, S2) + pair(T3, S3);
    d += pair(XLB, XRB) + num(DN) + "\n" + pair(K, thickness);
    d += num(Q) + " " + num(STOPT) + " " + num(T0) + " " + num(T0STEP) + " " + num(TA) + "\n";
    char rec12[32];
    std::snprintf(rec12, sizeof rec12, "%4d%4d\n", NT, IPRT);
    d += rec12;
    d += std::to_string(NTERMS) + "\n" + num(ERRMAX) + "\n";
    for (std::size_t i = 1; i < wells.size(); ++i) d += pair(wells[i].first, wells[i].second);
    return d;
  }
};

}  // namespace kelvorat::testing
