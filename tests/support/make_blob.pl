# make_blob.pl OUTPUT SIZE: SIZE bytes of a fixed pseudo-random sequence (the
# high bytes of a 32-bit linear congruential generator seeded with 12345),
# the test payload that the tests embed and read back byte for byte.
use strict;
use warnings;
my ($output, $size) = @ARGV;
my $x = 12345;
my $bytes = '';
for (1 .. $size) {
  $x = ($x * 1103515245 + 12345) & 0xFFFFFFFF;
  $bytes .= chr(($x >> 16) & 0xFF);
}
open(my $out, '>:raw', $output) or die "$output: $!";
print $out $bytes;
close($out) or die "$output: $!";
