// Measures the build's own rate converter against `conform --rate` on
// generated signals, 44.1 and 48 kHz to 16 and 8 kHz: distortion and noise of
// a 1 kHz tone, rejection of a tone just above the new Nyquist frequency, and
// the frequency error. Prints a Markdown table; with a folder argument also
// writes the spectra that tools/conform-quality.gp plots.
//
// usage: qm-conform-quality [SPECTRA_DIR]
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <string>
#include <vector>

#include "input/audio.h"
#include "input/conform_audio.h"
#include "platform/text.h"

namespace {

using qm::Format;

constexpr double kAmplitude = 16384;  // -6 dBFS
constexpr double kPi = 3.14159265358979323846;

std::vector<int16_t> Tones(int rate, const std::vector<double>& freqs) {
    std::vector<int16_t> s(static_cast<size_t>(2 * rate));  // two seconds
    for (size_t i = 0; i < s.size(); ++i) {
        double v = 0;
        for (double f : freqs) v += kAmplitude * std::sin(2 * kPi * f * i / rate);
        s[i] = static_cast<int16_t>(std::lround(v / freqs.size()));
    }
    return s;
}

std::vector<int16_t> ByBuild(const std::vector<int16_t>& in, int from, int to) {
    qm::CAudioData a;
    a.samples = in;
    std::string err;
    if (!a.Resample(from, to, err)) std::fprintf(stderr, "build resampler: %s\n", err.c_str());
    return a.samples;
}

std::vector<int16_t> ByConform(const std::vector<int16_t>& in, int from, int to) {
    std::vector<double> d(in.begin(), in.end());
    std::vector<int16_t> out;
    uint64_t clipped = 0;
    std::string err;
    if (!qm::ResampleTo16Bit(d, from, to, out, clipped, err)) {
        std::fprintf(stderr, "conform resampler: %s\n", err.c_str());
    }
    return out;
}

// The middle second of the output: away from the filters' start and end.
std::vector<double> Middle(const std::vector<int16_t>& s, int rate) {
    const size_t skip = static_cast<size_t>(rate / 2);
    if (s.size() < 2 * skip + 1) return {};
    return std::vector<double>(s.begin() + skip, s.end() - skip);
}

// Least-squares fit of a sine (with offset) at frequency f; returns the
// energy of the residual and sets the sine's energy.
double Residual(const std::vector<double>& x, double f, int rate, double& sineEnergy) {
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0, mean = 0;
    for (double v : x) mean += v;
    mean /= x.size();
    for (size_t i = 0; i < x.size(); ++i) {
        const double c = std::cos(2 * kPi * f * i / rate), s = std::sin(2 * kPi * f * i / rate);
        cc += c * c, ss += s * s, cs += c * s, xc += (x[i] - mean) * c, xs += (x[i] - mean) * s;
    }
    const double det = cc * ss - cs * cs;
    const double a = (xc * ss - xs * cs) / det, b = (xs * cc - xc * cs) / det;
    double res = 0;
    sineEnergy = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double fit =
            a * std::cos(2 * kPi * f * i / rate) + b * std::sin(2 * kPi * f * i / rate);
        res += (x[i] - mean - fit) * (x[i] - mean - fit);
        sineEnergy += fit * fit;
    }
    return res;
}

struct ToneFit {
    double freq = 0;
    double thdnDb = 0;
};

// Frequency from the first and last upward zero crossings.
double CrossingFrequency(const std::vector<double>& x, int rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double t = i - 1 + -x[i - 1] / (x[i] - x[i - 1]);
            if (first < 0) first = t;
            last = t;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * rate / (last - first) : 0;
}

// The frequency that leaves the least residual (golden-section search
// within the main lobe around the zero-crossing estimate), and the
// residual's level against the tone.
ToneFit FitTone(const std::vector<double>& x, int rate) {
    const double start = CrossingFrequency(x, rate);
    const double lobe = 0.5 * rate / x.size();
    double lo = start - lobe, hi = start + lobe, e = 0;
    const double g = (std::sqrt(5.0) - 1) / 2;
    for (int k = 0; k < 40; ++k) {
        const double m1 = hi - g * (hi - lo), m2 = lo + g * (hi - lo);
        if (Residual(x, m1, rate, e) < Residual(x, m2, rate, e)) {
            hi = m2;
        } else {
            lo = m1;
        }
    }
    ToneFit fit;
    fit.freq = (lo + hi) / 2;
    const double res = Residual(x, fit.freq, rate, e);
    fit.thdnDb = 10 * std::log10(res / e);
    return fit;
}

double RmsDb(const std::vector<double>& x) {
    double e = 0;
    for (double v : x) e += v * v;
    return 10 * std::log10(e / x.size() / (kAmplitude * kAmplitude / 2) + 1e-30);
}

void Fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2 * kPi / len);
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> wk = 1;
            for (size_t k = 0; k < len / 2; ++k, wk *= w) {
                const auto u = a[i + k], v = a[i + k + len / 2] * wk;
                a[i + k] = u + v, a[i + k + len / 2] = u - v;
            }
        }
    }
}

// Hann-windowed magnitude spectrum in dB against a full-scale sine.
std::vector<double> SpectrumDb(const std::vector<double>& x, size_t n) {
    std::vector<std::complex<double>> a(n);
    double wsum = 0;
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * kPi * i / n);
        a[i] = x[i] * w;
        wsum += w;
    }
    Fft(a);
    std::vector<double> db(n / 2 + 1);
    for (size_t k = 0; k <= n / 2; ++k) {
        db[k] = 20 * std::log10(2 * std::abs(a[k]) / wsum / 32768 + 1e-12);
    }
    return db;
}

void WriteSpectra(const std::string& dir, int from, int to) {
    const double above = 1.05 * to / 2;
    const auto in = Tones(from, {1000, above});
    const auto build = Middle(ByBuild(in, from, to), to);
    const auto conform = Middle(ByConform(in, from, to), to);
    size_t n = 1;
    while (2 * n <= std::min(build.size(), conform.size())) n *= 2;
    const auto b = SpectrumDb(build, n), c = SpectrumDb(conform, n);
    const std::string path =
        dir + "/spectrum-" + std::to_string(from) + "-" + std::to_string(to) + ".dat";
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return;
    std::fprintf(f, "# Hz build conform (dB against full scale), input 1000 Hz + %.0f Hz\n", above);
    for (size_t k = 0; k <= n / 2; ++k) {
        std::fprintf(f, "%.2f %.2f %.2f\n", double(k) * to / n, b[k], c[k]);
    }
    std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    std::printf(
        "| conversion | converter | THD+N of 1 kHz | rejection at 1.05 x new Nyquist "
        "| 1 kHz comes out at | frequency error |\n");
    std::printf("|---|---|---|---|---|---|\n");
    const int pairs[][2] = {{44100, 16000}, {44100, 8000}, {48000, 16000}, {48000, 8000}};
    for (const auto& p : pairs) {
        const int from = p[0], to = p[1];
        const double above = 1.05 * to / 2;
        const auto tone = Tones(from, {1000});
        const auto alias = Tones(from, {above});
        for (int which = 0; which < 2; ++which) {
            auto run = which == 0 ? ByBuild : ByConform;
            const ToneFit fit = FitTone(Middle(run(tone, from, to), to), to);
            const double level = RmsDb(Middle(run(alias, from, to), to));
            // Below half a step every sample rounds to 0.
            const std::string rejection =
                level < -200 ? "complete (every sample 0)" : Format("%.1f dB", -level);
            const double error = std::fabs(fit.freq - 1000) < 5e-3 ? 0 : (fit.freq - 1000) / 10;
            std::printf("| %.1f -> %d kHz | %s | %.1f dB | %s | %.2f Hz | %+.3f %% |\n",
                        from / 1000.0, to / 1000, which == 0 ? "build" : "conform --rate",
                        fit.thdnDb, rejection.c_str(), fit.freq, error);
        }
        if (argc > 1) WriteSpectra(argv[1], from, to);
    }
    return 0;
}
