// The terms of a law (law_gradient_terms.hpp) far from the lens, a <= far_disk_ratio u: the
// mean-value series (disk_mean_value_sum.hpp) is linear in the profile's moments, so a term's
// excess over the point lens at the centre is the series' excess part with the weights
// (l + 1) m_l, m_l the term's moments (law_far.hpp):
//   X_k = M_k - f_k A(u) = (q/4) (sqrt(p)/t) sum_l (l + 1) m_l (a^2/t)^l H_l(p, q).
// The derivatives in u and a are those of the series, by forward-mode differentiation, with the
// terms that matter to them.
#pragma once

#include <span>

#include "models/law_far.hpp"
#include "models/law_gradient_terms.hpp"

namespace obrivane::models {

// X_k with its derivatives for each term of `moments` into `terms` (of the same size), for
// 0 < u and 0 <= a <= far_disk_ratio u; returns the derivative in u of the point lens A(u). The
// series' parts the value formed at (u, a), if `formed` holds them, are taken up rather than
// formed again.
double far_term_integrals(double u, double a, std::span<const LawMoments* const> moments,
                          std::span<TermIntegral> terms, const FarSeries* formed = nullptr) noexcept;

}  // namespace obrivane::models
