#!/usr/bin/perl
# Writes the deterministic placeholder encoder firmware: a 16-byte tag, then a
# fixed byte pattern, 65536 bytes in all. The simulated board accepts any image;
# the real board's firmware replaces this file beside the DLL.
use strict; use warnings;
my $out = shift or die "usage: romgen.pl OUTPUT\n";
my $size = 65536;
my $tag = "ZELK-PLACEHOLDER";
my $data = $tag . join('', map { chr(($_ * 31 + 7) & 0xFF) } length($tag) .. $size - 1);
open(my $fh, '>:raw', $out) or die "cannot write $out: $!\n";
print $fh $data;
close($fh) or die "cannot close $out: $!\n";
