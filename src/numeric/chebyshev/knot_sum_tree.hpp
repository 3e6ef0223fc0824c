// Weighted sums over many fixed knots, sum_i w_i f(x_i), for many functions f that are analytic
// on the real line except at one point c (and at complex points at least some distance from it),
// at a cost per function that grows like log N rather than N.
//
// The knots, ascending, are split in halves into a binary tree of nodes. On a node whose knots span
// [a, b], with t = (2x - a - b)/(b - a), f is replaced by its interpolant p at the M first-kind
// Chebyshev points t_j (chebyshev_interpolation.hpp):
//   sum_i w_i p(t_i) = sum_j W_j f(t_j),   W_j = sum_k (2 - [k = 0]) / M T_k(t_j) m_k,
//   m_k = sum_i w_i T_k(t_i),
// with W formed once for the knots. If f is analytic inside the Bernstein ellipse of parameter r
// around [a, b], |f - p| falls like r^-M. A singularity on the real axis at distance
// d >= separation (b - a) from [a, b] gives r >= q + sqrt(q^2 - 1) with q = 1 + 2 separation; one
// at height y off the axis, with b - a <= y / 2, gives r - 1/r >= 8. A node that meets neither
// bound is opened; a leaf of at most `leaf` knots is summed knot by knot.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include "numeric/chebyshev/chebyshev_interpolation.hpp"

namespace obrivane::numeric {

template <std::size_t M>
class KnotSumTree {
 public:
  // q = 4 gives r = 4 + sqrt(15) = 7.87 and r^-16 = 4.5e-15.
  static constexpr double separation = 1.5;
  static constexpr std::size_t leaf = 32;

  // x ascending and distinct, w of the same length; both are copied.
  KnotSumTree(std::span<const double> x, std::span<const double> w)
      : x_(x.begin(), x.end()), w_(w.begin(), w.end()) {
    if (x_.empty()) return;
    nodes_.push_back(Node{0, x_.size(), x_.front(), x_.back(), 0, {}});
    build(0);
  }

  // sum_i w_i f(x_i), f singular at c only, and nowhere within height `width` of the real axis
  // (nodes wider than width / 2 are always opened). evaluate(points, values) sets values[j] =
  // f(points[j]) for ascending points.
  template <class Evaluate>
  [[nodiscard]] double sum(double c, double width, Evaluate&& evaluate) const {
    if (nodes_.empty()) return 0.0;
    const auto& grid = ChebyshevPoints<M>::instance();
    std::array<std::size_t, 2 * 64 + 2> stack{};
    std::size_t depth = 0;
    stack[depth++] = 0;
    std::array<double, M> points{};
    std::array<double, M> values{};
    std::array<double, leaf> leaf_values{};
    double total = 0;
    while (depth > 0) {
      const Node& node = nodes_[stack[--depth]];
      const double span = node.b - node.a;
      const double distance = c < node.a ? node.a - c : (c > node.b ? c - node.b : 0.0);
      const bool smooth_here = distance >= separation * span && span + span <= width;
      if (node.left == 0 || !smooth_here) {
        if (node.left == 0) {
          const std::size_t count = node.end - node.begin;
          evaluate(std::span<const double>(x_.data() + node.begin, count),
                   std::span<double>(leaf_values.data(), count));
          for (std::size_t i = 0; i < count; ++i) total += w_[node.begin + i] * leaf_values[i];
        } else {
          // The left half first: a fixed order of summation.
          stack[depth++] = node.left + 1;
          stack[depth++] = node.left;
        }
        continue;
      }
      const double middle = node.a + span * 0.5;
      const double half = span * 0.5;
      // Ascending: t_j decreases with j.
      for (std::size_t j = 0; j < M; ++j) points[j] = middle + half * grid.point(M - 1 - j);
      evaluate(std::span<const double>(points), std::span<double>(values));
      for (std::size_t j = 0; j < M; ++j) total += node.weights[j] * values[j];
    }
    return total;
  }

 private:
  struct Node {
    std::size_t begin;
    std::size_t end;
    double a;
    double b;
    std::size_t left;               // the right child follows it; 0 for a leaf
    std::array<double, M> weights;  // W for ascending points
  };

  // Children and weights of the node at `index`, already in place: its two children are pushed
  // next to each other and built first. T_k in the node's coordinate is, for k < M, a polynomial
  // of degree below M on each child, which the child's own rule sums exactly; so the node's
  // moments come from the M points of each child that has a rule, and from the knots only of a
  // child that is a leaf. Each knot is visited once.
  void build(std::size_t index) {
    const std::size_t begin = nodes_[index].begin;
    const std::size_t end = nodes_[index].end;
    if (end - begin <= leaf) return;
    const std::size_t middle = begin + (end - begin) / 2;
    const std::size_t left = nodes_.size();
    nodes_[index].left = left;
    nodes_.push_back(Node{begin, middle, x_[begin], x_[middle - 1], 0, {}});
    nodes_.push_back(Node{middle, end, x_[middle], x_[end - 1], 0, {}});
    build(left);
    build(left + 1);

    const double a = nodes_[index].a;
    const double b = nodes_[index].b;
    std::array<double, M> moments{};
    const auto add = [&](double x, double w) {
      const double t = ((x - a) - (b - x)) / (b - a);
      double previous = 1;
      double current = t;
      moments[0] += w;
      moments[1] += w * t;
      for (std::size_t k = 2; k < M; ++k) {
        const double next = (t + t) * current - previous;
        previous = current;
        current = next;
        moments[k] += w * current;
      }
    };
    const auto& grid = ChebyshevPoints<M>::instance();
    for (const std::size_t child : {left, left + 1}) {
      const Node& node = nodes_[child];
      if (node.left == 0) {
        for (std::size_t i = node.begin; i < node.end; ++i) add(x_[i], w_[i]);
      } else {
        const double half = (node.b - node.a) * 0.5;
        const double centre = node.a + half;
        for (std::size_t j = 0; j < M; ++j) add(centre + half * grid.point(M - 1 - j), node.weights[j]);
      }
    }
    const std::array<double, M> descending = grid.nodal_weights(moments);
    for (std::size_t j = 0; j < M; ++j) nodes_[index].weights[j] = descending[M - 1 - j];
  }

  std::vector<double> x_;
  std::vector<double> w_;
  std::vector<Node> nodes_;
};

}  // namespace obrivane::numeric
