# Index rebuild time against the number of lines, beside `wc -l` on the same
# file: on log scales a straight line of slope 1 means linear growth.
set terminal svg size 720,440 dynamic enhanced font "sans,12"
set output output
set title "Index rebuild time (median)"
set xlabel "lines in the quote file (about 100 bytes each)"
set ylabel "seconds"
set logscale xy
set format x "10^{%L}"
set key outside bottom center horizontal
set grid
plot data using 1:2 with linespoints lw 2 title "dictorn, page mode", \
     data using 1:3 with linespoints lw 2 title "dictorn, console mode", \
     data using 1:4 with linespoints lw 2 title "wc -l"
