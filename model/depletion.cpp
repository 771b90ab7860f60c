#include "model/depletion.h"

#include "model/zone_chain.h"

namespace kelvorat {

double deplet(const ModelState& s, double STLEAK) {
  chain::ZoneChain z;
  chain::evaluate(s, 0.0, z);
  // All four zone-2 exponentials underflowed: the depletion is exactly 0
  // (the amplitude would be infinite and the product undefined).
  if (z.CM2 == 0.0 && z.CP3 == 0.0) return 0.0;

  const double EIN = chain::gexp(-(z.ROOT2 * s.DN));
  const double E14 = chain::gexp(z.ROOT2 * s.DN * chain::kOneFourteenth);
  const double EOUT = chain::pow14(E14);  // e^(ROOT2*DN)
  // ROOT2 times the integral of the zone-2 profile over -DN <= x <= 0.
  const double ZINT = z.CM2 * EOUT + ((1.0 - EIN) * z.CP2 - z.CM2);

  // Runs once per Stehfest term, so the Wide tail is used directly.
  const Wide AMP = chain::wide_tail(z).AMP;
  return (-((ZINT * (STLEAK / (z.ROOT3 * z.ROOT2))) * AMP)).to_double();
}

}  // namespace kelvorat
