# Spectra of the build's rate converter and of `conform --rate`, side by
# side, for a 1 kHz tone plus a tone 5% above the new Nyquist frequency.
# usage: gnuplot -e "dir='SPECTRA_DIR'; out='PNG'" tools/conform-quality.gp
set terminal pngcairo size 1200,800 font "sans,10"
set output out
set multiplot layout 2,2 title "1 kHz tone + tone at 1.05 x new Nyquist, both at -12 dBFS (Hann window, middle second)"
set grid
set yrange [-140:0]
set ylabel "dB against full scale"
set xlabel "Hz"
set key off
do for [p in "44100-16000 48000-8000"] {
    file = sprintf("%s/spectrum-%s.dat", dir, p)
    set title sprintf("%s Hz: build's converter", p)
    plot file using 1:2 with lines lc rgb "#c03020"
    set title sprintf("%s Hz: conform --rate", p)
    plot file using 1:3 with lines lc rgb "#2050c0"
}
unset multiplot
