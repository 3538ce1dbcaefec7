# Index rebuild time against the number of lines, beside `wc -l` on the same
# file. Each run includes starting the process (about a millisecond); past
# that, time grows in a straight line with the size of the file.
set terminal svg size 720,440 dynamic enhanced font "sans,12"
set output output
set title "Index rebuild time (median of runs)"
set xlabel "lines in the quote file (about 100 bytes each)"
set ylabel "milliseconds"
set xrange [0:*]
set yrange [0:*]
set format x "%.0s%c"
set key outside bottom center horizontal
set grid
plot data using 1:($2 * 1000) with linespoints lw 2 title "dictorn, page mode", \
     data using 1:($3 * 1000) with linespoints lw 2 title "dictorn, console mode", \
     data using 1:($4 * 1000) with linespoints lw 2 title "wc -l"
