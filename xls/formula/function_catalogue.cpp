#include "xls/formula/function_catalogue.h"

#include <charconv>
#include <stdexcept>

namespace xls {

namespace {

struct CatalogueRow {
  int number;
  const char* name;
  int count;
  const char* classes;  // return class, default argument class: R, V or A
  const char* digits;   // classes of the leading arguments, same letters
};

// clang-format off
constexpr CatalogueRow kBuiltInRows[] = {
    {0, "COUNT", -1, "VR", ""},
    {1, "IF", -1, "RV", "VRR"},
    {2, "ISNA", 1, "VV", ""},
    {3, "ISERROR", 1, "VV", ""},
    {4, "SUM", -1, "VR", ""},
    {5, "AVERAGE", -1, "VR", ""},
    {6, "MIN", -1, "VR", ""},
    {7, "MAX", -1, "VR", ""},
    {8, "ROW", -1, "VR", ""},
    {9, "COLUMN", -1, "VR", ""},
    {10, "NA", 0, "VR", ""},
    {11, "NPV", -1, "VR", "V"},
    {12, "STDEV", -1, "VR", ""},
    {13, "DOLLAR", -1, "VV", ""},
    {14, "FIXED", -1, "VV", ""},
    {15, "SIN", 1, "VV", ""},
    {16, "COS", 1, "VV", ""},
    {17, "TAN", 1, "VV", ""},
    {18, "ATAN", 1, "VV", ""},
    {19, "PI", 0, "VV", ""},
    {20, "SQRT", 1, "VV", ""},
    {21, "EXP", 1, "VV", ""},
    {22, "LN", 1, "VV", ""},
    {23, "LOG10", 1, "VV", ""},
    {24, "ABS", 1, "VV", ""},
    {25, "INT", 1, "VV", ""},
    {26, "SIGN", 1, "VV", ""},
    {27, "ROUND", 2, "VV", ""},
    {28, "LOOKUP", -1, "VR", "VRR"},
    {29, "INDEX", -1, "RR", "RVVV"},
    {30, "REPT", 2, "VV", ""},
    {31, "MID", 3, "VV", ""},
    {32, "LEN", 1, "VV", ""},
    {33, "VALUE", 1, "VV", ""},
    {34, "TRUE", 0, "VV", ""},
    {35, "FALSE", 0, "VV", ""},
    {36, "AND", -1, "VV", ""},
    {37, "OR", -1, "VV", ""},
    {38, "NOT", 1, "VV", ""},
    {39, "MOD", 2, "VV", ""},
    {40, "DCOUNT", 3, "VR", ""},
    {41, "DSUM", 3, "VR", ""},
    {42, "DAVERAGE", 3, "VR", ""},
    {43, "DMIN", 3, "VR", ""},
    {44, "DMAX", 3, "VR", ""},
    {45, "DSTDEV", 3, "VR", ""},
    {46, "VAR", -1, "VR", ""},
    {47, "DVAR", 3, "VR", ""},
    {48, "TEXT", 2, "VV", ""},
    {49, "LINEST", -1, "AR", "RRVV"},
    {50, "TREND", -1, "AR", "RRRV"},
    {51, "LOGEST", -1, "AR", "RRVV"},
    {52, "GROWTH", -1, "AR", "RRRV"},
    {56, "PV", -1, "VV", ""},
    {57, "FV", -1, "VV", ""},
    {58, "NPER", -1, "VV", ""},
    {59, "PMT", -1, "VV", ""},
    {60, "RATE", -1, "VV", ""},
    {61, "MIRR", 3, "VR", "RVV"},
    {62, "IRR", -1, "VR", "RV"},
    {63, "RAND", 0, "VV", ""},
    {64, "MATCH", -1, "VR", "VRR"},
    {65, "DATE", 3, "VV", ""},
    {66, "TIME", 3, "VV", ""},
    {67, "DAY", 1, "VV", ""},
    {68, "MONTH", 1, "VV", ""},
    {69, "YEAR", 1, "VV", ""},
    {70, "WEEKDAY", -1, "VV", ""},
    {71, "HOUR", 1, "VV", ""},
    {72, "MINUTE", 1, "VV", ""},
    {73, "SECOND", 1, "VV", ""},
    {74, "NOW", 0, "VV", ""},
    {75, "AREAS", 1, "VR", ""},
    {76, "ROWS", 1, "VR", ""},
    {77, "COLUMNS", 1, "VR", ""},
    {78, "OFFSET", -1, "RV", "RVVVVV"},
    {82, "SEARCH", -1, "VV", ""},
    {83, "TRANSPOSE", 1, "AV", ""},
    {86, "TYPE", 1, "VV", ""},
    {97, "ATAN2", 2, "VV", ""},
    {98, "ASIN", 1, "VV", ""},
    {99, "ACOS", 1, "VV", ""},
    {100, "CHOOSE", -1, "RR", "VR"},
    {101, "HLOOKUP", -1, "VR", "VRVV"},
    {102, "VLOOKUP", -1, "VR", "VRVV"},
    {105, "ISREF", 1, "VR", ""},
    {109, "LOG", -1, "VV", ""},
    {111, "CHAR", 1, "VV", ""},
    {112, "LOWER", 1, "VV", ""},
    {113, "UPPER", 1, "VV", ""},
    {114, "PROPER", 1, "VV", ""},
    {115, "LEFT", -1, "VV", ""},
    {116, "RIGHT", -1, "VV", ""},
    {117, "EXACT", 2, "VV", ""},
    {118, "TRIM", 1, "VV", ""},
    {119, "REPLACE", 4, "VV", ""},
    {120, "SUBSTITUTE", -1, "VV", ""},
    {121, "CODE", 1, "VV", ""},
    {124, "FIND", -1, "VV", ""},
    {125, "CELL", -1, "VR", "VR"},
    {126, "ISERR", 1, "VV", ""},
    {127, "ISTEXT", 1, "VV", ""},
    {128, "ISNUMBER", 1, "VV", ""},
    {129, "ISBLANK", 1, "VV", ""},
    {130, "T", 1, "VR", ""},
    {131, "N", 1, "VR", ""},
    {140, "DATEVALUE", 1, "VV", ""},
    {141, "TIMEVALUE", 1, "VV", ""},
    {142, "SLN", 3, "VV", ""},
    {143, "SYD", 4, "VV", ""},
    {144, "DDB", -1, "VV", ""},
    {148, "INDIRECT", -1, "RV", ""},
    {150, "CALL", -1, "VV", ""},
    {162, "CLEAN", 1, "VV", ""},
    {163, "MDETERM", 1, "VA", ""},
    {164, "MINVERSE", 1, "AA", ""},
    {165, "MMULT", 2, "AA", ""},
    {167, "IPMT", -1, "VV", ""},
    {168, "PPMT", -1, "VV", ""},
    {169, "COUNTA", -1, "VR", ""},
    {183, "PRODUCT", -1, "VR", ""},
    {184, "FACT", 1, "VV", ""},
    {189, "DPRODUCT", 3, "VR", ""},
    {190, "ISNONTEXT", 1, "VV", ""},
    {193, "STDEVP", -1, "VR", ""},
    {194, "VARP", -1, "VR", ""},
    {195, "DSTDEVP", 3, "VR", ""},
    {196, "DVARP", 3, "VR", ""},
    {197, "TRUNC", -1, "VV", ""},
    {198, "ISLOGICAL", 1, "VV", ""},
    {199, "DCOUNTA", 3, "VR", ""},
    {212, "ROUNDUP", 2, "VV", ""},
    {213, "ROUNDDOWN", 2, "VV", ""},
    {216, "RANK", -1, "VR", "VRV"},
    {219, "ADDRESS", -1, "VV", ""},
    {220, "DAYS360", -1, "VV", ""},
    {221, "TODAY", 0, "VV", ""},
    {222, "VDB", -1, "VV", ""},
    {227, "MEDIAN", -1, "VR", ""},
    {228, "SUMPRODUCT", -1, "VA", ""},
    {229, "SINH", 1, "VV", ""},
    {230, "COSH", 1, "VV", ""},
    {231, "TANH", 1, "VV", ""},
    {232, "ASINH", 1, "VV", ""},
    {233, "ACOSH", 1, "VV", ""},
    {234, "ATANH", 1, "VV", ""},
    {235, "DGET", 3, "VR", ""},
    {244, "INFO", 1, "VV", ""},
    {247, "DB", -1, "VV", ""},
    {252, "FREQUENCY", 2, "AR", ""},
    {261, "ERROR.TYPE", 1, "VV", ""},
    {267, "REGISTER.ID", -1, "VV", ""},
    {269, "AVEDEV", -1, "VR", ""},
    {270, "BETADIST", -1, "VV", ""},
    {271, "GAMMALN", 1, "VV", ""},
    {272, "BETAINV", -1, "VV", ""},
    {273, "BINOMDIST", 4, "VV", ""},
    {274, "CHIDIST", 2, "VV", ""},
    {275, "CHIINV", 2, "VV", ""},
    {276, "COMBIN", 2, "VV", ""},
    {277, "CONFIDENCE", 3, "VV", ""},
    {278, "CRITBINOM", 3, "VV", ""},
    {279, "EVEN", 1, "VV", ""},
    {280, "EXPONDIST", 3, "VV", ""},
    {281, "FDIST", 3, "VV", ""},
    {282, "FINV", 3, "VV", ""},
    {283, "FISHER", 1, "VV", ""},
    {284, "FISHERINV", 1, "VV", ""},
    {285, "FLOOR", 2, "VV", ""},
    {286, "GAMMADIST", 4, "VV", ""},
    {287, "GAMMAINV", 3, "VV", ""},
    {288, "CEILING", 2, "VV", ""},
    {289, "HYPGEOMDIST", 4, "VV", ""},
    {290, "LOGNORMDIST", 3, "VV", ""},
    {291, "LOGINV", 3, "VV", ""},
    {292, "NEGBINOMDIST", 3, "VV", ""},
    {293, "NORMDIST", 4, "VV", ""},
    {294, "NORMSDIST", 1, "VV", ""},
    {295, "NORMINV", 3, "VV", ""},
    {296, "NORMSINV", 1, "VV", ""},
    {297, "STANDARDIZE", 3, "VV", ""},
    {298, "ODD", 1, "VV", ""},
    {299, "PERMUT", 2, "VV", ""},
    {300, "POISSON", 3, "VV", ""},
    {301, "TDIST", 3, "VV", ""},
    {302, "WEIBULL", 4, "VV", ""},
    {303, "SUMXMY2", 2, "VA", ""},
    {304, "SUMX2MY2", 2, "VA", ""},
    {305, "SUMX2PY2", 2, "VA", ""},
    {306, "CHITEST", 2, "VA", ""},
    {307, "CORREL", 2, "VA", ""},
    {308, "COVAR", 2, "VA", ""},
    {309, "FORECAST", 3, "VA", "VAA"},
    {310, "FTEST", 2, "VA", ""},
    {311, "INTERCEPT", 2, "VA", ""},
    {312, "PEARSON", 2, "VA", ""},
    {313, "RSQ", 2, "VA", ""},
    {314, "STEYX", 2, "VA", ""},
    {315, "SLOPE", 2, "VA", ""},
    {316, "TTEST", 4, "VA", "AAVV"},
    {317, "PROB", -1, "VA", "AAVV"},
    {318, "DEVSQ", -1, "VR", ""},
    {319, "GEOMEAN", -1, "VR", ""},
    {320, "HARMEAN", -1, "VR", ""},
    {321, "SUMSQ", -1, "VR", ""},
    {322, "KURT", -1, "VR", ""},
    {323, "SKEW", -1, "VR", ""},
    {324, "ZTEST", -1, "VR", "RVV"},
    {325, "LARGE", 2, "VR", "RV"},
    {326, "SMALL", 2, "VR", "RV"},
    {327, "QUARTILE", 2, "VR", "RV"},
    {328, "PERCENTILE", 2, "VR", "RV"},
    {329, "PERCENTRANK", -1, "VR", "RVV"},
    {330, "MODE", -1, "VA", ""},
    {331, "TRIMMEAN", 2, "VR", "RV"},
    {332, "TINV", 2, "VV", ""},
    {336, "CONCATENATE", -1, "VV", ""},
    {337, "POWER", 2, "VV", ""},
    {342, "RADIANS", 1, "VV", ""},
    {343, "DEGREES", 1, "VV", ""},
    {344, "SUBTOTAL", -1, "VR", "VR"},
    {345, "SUMIF", -1, "VR", "RVR"},
    {346, "COUNTIF", 2, "VR", "RVR"},
    {347, "COUNTBLANK", 1, "VR", ""},
    {354, "ROMAN", -1, "VV", ""},
    {359, "HYPERLINK", -1, "VV", ""},
    {360, "PHONETIC", 1, "VR", ""},
    {361, "AVERAGEA", -1, "VR", ""},
    {362, "MAXA", -1, "VR", ""},
    {363, "MINA", -1, "VR", ""},
    {364, "STDEVPA", -1, "VR", ""},
    {365, "VARPA", -1, "VR", ""},
    {366, "STDEVA", -1, "VR", ""},
    {367, "VARA", -1, "VR", ""},
};

constexpr CatalogueRow kAddInRows[] = {
    {0, "ACCRINT", -1, "VV", ""},
    {1, "ACCRINTM", -1, "VV", ""},
    {2, "AMORDEGRC", -1, "VV", ""},
    {3, "AMORLINC", -1, "VV", ""},
    {4, "BESSELI", 2, "VV", ""},
    {5, "BESSELJ", 2, "VV", ""},
    {6, "BESSELK", 2, "VV", ""},
    {7, "BESSELY", 2, "VV", ""},
    {8, "BIN2DEC", 1, "VV", ""},
    {9, "BIN2HEX", -1, "VV", ""},
    {10, "BIN2OCT", -1, "VV", ""},
    {11, "COMPLEX", -1, "VV", ""},
    {12, "CONVERT", 3, "VV", ""},
    {13, "COUPDAYBS", -1, "VV", ""},
    {14, "COUPDAYS", -1, "VV", ""},
    {15, "COUPDAYSNC", -1, "VV", ""},
    {16, "COUPNCD", -1, "VV", ""},
    {17, "COUPNUM", -1, "VV", ""},
    {18, "COUPPCD", -1, "VV", ""},
    {19, "CUMIPMT", 6, "VV", ""},
    {20, "CUMPRINC", 6, "VV", ""},
    {21, "DEC2BIN", -1, "VV", ""},
    {22, "DEC2HEX", -1, "VV", ""},
    {23, "DEC2OCT", -1, "VV", ""},
    {24, "DELTA", -1, "VV", ""},
    {25, "DISC", -1, "VV", ""},
    {26, "DOLLARDE", 2, "VV", ""},
    {27, "DOLLARFR", 2, "VV", ""},
    {28, "DURATION", -1, "VV", ""},
    {29, "EDATE", 2, "VV", ""},
    {30, "EFFECT", 2, "VV", ""},
    {31, "EOMONTH", 2, "VV", ""},
    {32, "ERF", -1, "VV", ""},
    {33, "ERFC", 1, "VV", ""},
    {34, "FACTDOUBLE", 1, "VV", ""},
    {35, "FVSCHEDULE", 2, "VV", "VA"},
    {36, "GCD", -1, "VR", ""},
    {37, "GESTEP", -1, "VV", ""},
    {38, "HEX2BIN", -1, "VV", ""},
    {39, "HEX2DEC", 1, "VV", ""},
    {40, "HEX2OCT", -1, "VV", ""},
    {41, "IMABS", 1, "VV", ""},
    {42, "IMAGINARY", 1, "VV", ""},
    {43, "IMARGUMENT", 1, "VV", ""},
    {44, "IMCONJUGATE", 1, "VV", ""},
    {45, "IMCOS", 1, "VV", ""},
    {46, "IMDIV", 2, "VV", ""},
    {47, "IMEXP", 1, "VV", ""},
    {48, "IMLN", 1, "VV", ""},
    {49, "IMLOG10", 1, "VV", ""},
    {50, "IMLOG2", 1, "VV", ""},
    {51, "IMPOWER", 2, "VV", ""},
    {52, "IMPRODUCT", -1, "VR", ""},
    {53, "IMREAL", 1, "VV", ""},
    {54, "IMSIN", 1, "VV", ""},
    {55, "IMSQRT", 1, "VV", ""},
    {56, "IMSUB", 2, "VV", ""},
    {57, "IMSUM", -1, "VR", ""},
    {58, "INTRATE", -1, "VV", ""},
    {59, "ISEVEN", 1, "VV", ""},
    {60, "ISODD", 1, "VV", ""},
    {61, "LCM", -1, "VR", ""},
    {62, "MDURATION", -1, "VV", ""},
    {63, "MROUND", 2, "VV", ""},
    {64, "MULTINOMIAL", -1, "VR", ""},
    {65, "NETWORKDAYS", -1, "VV", "VVR"},
    {66, "NOMINAL", 2, "VV", ""},
    {67, "OCT2BIN", -1, "VV", ""},
    {68, "OCT2DEC", 1, "VV", ""},
    {69, "OCT2HEX", -1, "VV", ""},
    {70, "ODDFPRICE", -1, "VV", ""},
    {71, "ODDFYIELD", -1, "VV", ""},
    {72, "ODDLPRICE", -1, "VV", ""},
    {73, "ODDLYIELD", -1, "VV", ""},
    {74, "PRICE", -1, "VV", ""},
    {75, "PRICEDISC", -1, "VV", ""},
    {76, "PRICEMAT", -1, "VV", ""},
    {77, "QUOTIENT", 2, "VV", ""},
    {78, "RANDBETWEEN", 2, "VV", ""},
    {79, "RECEIVED", -1, "VV", ""},
    {80, "SERIESSUM", 4, "VV", "VVVR"},
    {81, "SQRTPI", 1, "VV", ""},
    {82, "TBILLEQ", 3, "VV", ""},
    {83, "TBILLPRICE", 3, "VV", ""},
    {84, "TBILLYIELD", 3, "VV", ""},
    {85, "WEEKNUM", -1, "VV", ""},
    {86, "WORKDAY", -1, "VV", "VVR"},
    {87, "XIRR", -1, "VR", "RRV"},
    {88, "XNPV", 3, "VR", "VRR"},
    {89, "YEARFRAC", -1, "VV", ""},
    {90, "YIELD", -1, "VV", ""},
    {91, "YIELDDISC", -1, "VV", ""},
    {92, "YIELDMAT", -1, "VV", ""},
};
// clang-format on

int ClassOfLetter(char c) {
  switch (c) {
    case 'R': return kClassReference;
    case 'V': return kClassValue;
    case 'A': return kClassArray;
  }
  throw std::logic_error("function table: bad class letter");
}

void Register(THashFunc& catalogue, const CatalogueRow* rows, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const CatalogueRow& r = rows[i];
    std::u16string name(r.name, r.name + std::char_traits<char>::length(r.name));
    int ret = ClassOfLetter(r.classes[0]);
    int def = ClassOfLetter(r.classes[1]);
    if (r.digits[0] == 0) {
      catalogue.AddFunction(name, r.number, ret, r.count, def);
    } else {
      std::string digits;
      for (const char* p = r.digits; *p; ++p) digits += static_cast<char>('0' + ClassOfLetter(*p));
      catalogue.AddFunctionEx(name, r.number, digits, ret, r.count, def);
    }
  }
}

}  // namespace

int THashFuncEntry::GetArgClass(int i) const {
  if (i >= 1 && i <= digitCount) return classDigits[static_cast<size_t>(i - 1)];
  return defaultClass;
}

THashFuncEntry& THashFunc::FindOrAdd(std::u16string_view name) {
  auto [it, added] = entries_.try_emplace(std::u16string(name));
  if (added) it->second.key = it->first;
  return it->second;
}

void THashFunc::AddFunction(std::u16string_view name, int number, int returnClass, int argCount,
                            int defaultClass) {
  names_[number] = std::u16string(name);
  THashFuncEntry& e = FindOrAdd(name);
  e.number = number;
  e.argCount = argCount;
  e.returnClass = returnClass;
  e.defaultClass = defaultClass;
  e.classDigits.clear();
  e.digitCount = 0;
}

void THashFunc::AddFunctionEx(std::u16string_view name, int number, std::string_view classDigits,
                              int returnClass, int argCount, int defaultClass) {
  AddFunction(name, number, returnClass, argCount, defaultClass);
  THashFuncEntry& e = FindOrAdd(name);
  for (char c : classDigits) {
    if (c < '0' || c > '9') throw std::logic_error("function table: class digit expected");
    e.classDigits.push_back(static_cast<uint8_t>(c - '0'));
  }
  e.digitCount = static_cast<int16_t>(e.classDigits.size());
}

const THashFuncEntry* THashFunc::FindByName(std::u16string_view name) const {
  auto it = entries_.find(std::u16string(name));
  return it == entries_.end() ? nullptr : &it->second;
}

std::u16string THashFunc::GetNameByNumber(int number) const {
  auto it = names_.find(number);
  return it == names_.end() ? std::u16string() : it->second;
}

int THashFunc::GetArgCountByNumber(int number) const {
  auto it = names_.find(number);
  if (it == names_.end()) return -2;
  const THashFuncEntry* e = FindByName(it->second);
  return e ? e->argCount : -2;
}

const THashFuncEntry* THashFunc::FindAddIn(std::u16string_view name) const {
  return addIns_ ? addIns_->FindByName(name) : nullptr;
}

void RegisterBuiltIns(THashFunc& catalogue) {
  Register(catalogue, kBuiltInRows, std::size(kBuiltInRows));
}

void RegisterAddIns(THashFunc& catalogue) {
  Register(catalogue, kAddInRows, std::size(kAddInRows));
}

std::unique_ptr<THashFunc> MakeFunctionCatalogue() {
  auto builtIns = std::make_unique<THashFunc>();
  RegisterBuiltIns(*builtIns);
  auto addIns = std::make_unique<THashFunc>();
  RegisterAddIns(*addIns);
  builtIns->SetAddIns(std::move(addIns));
  return builtIns;
}

bool TryTextToFloat(std::u16string_view text, double& value) {
  std::string ascii;
  for (char16_t c : text) {
    if (c > 127) return false;
    ascii += static_cast<char>(c);
  }
  if (ascii.empty()) return false;
  double v = 0;
  auto res = std::from_chars(ascii.data(), ascii.data() + ascii.size(), v);
  if (res.ec != std::errc() || res.ptr != ascii.data() + ascii.size()) return false;
  value = v;
  return true;
}

}  // namespace xls
