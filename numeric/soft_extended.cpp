#include "numeric/soft_extended.h"

#include <stdexcept>
#include <string>

#include "numeric/known_trig.h"

namespace {

const TKnownTrig& Lookup(SoftExtended x, const char* function) {
  for (const TKnownTrig& entry : KnownTrig)
    if (entry.argument.significand == x.significand && entry.argument.signExponent == x.signExponent) return entry;
  // A new angle needs its x87 value recorded: rerun tools/generate_trig.cpp with it added.
  throw std::domain_error(std::string(function) + ": no recorded x87 value for this argument");
}

}  // namespace

SoftExtended ExtSin(SoftExtended x) { return Lookup(x, "sin").sine; }
SoftExtended ExtCos(SoftExtended x) { return Lookup(x, "cos").cosine; }
SoftExtended ExtTan(SoftExtended x) { return Lookup(x, "tan").tangent; }
