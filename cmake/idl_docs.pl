#!/usr/bin/perl
# Carries the documentation of an IDL file into the header the IDL compiler
# writes: every line that begins with "///" becomes cpp_quote("//..."), which
# the compiler copies into the header as it is, and a blank line before or
# after such a line becomes a blank line of the header. Other lines pass
# unchanged, so line numbers in the compiler's messages still match the source.
# Usage: perl idl_docs.pl input.idl output.idl
use strict;
use warnings;

my ($input, $output) = @ARGV;
die "usage: idl_docs.pl input.idl output.idl\n" unless defined $output;
open(my $in, '<', $input) or die "cannot read $input: $!\n";
my @lines = <$in>;
close($in);

my $isDoc = sub { my $i = shift; return $i >= 0 && $i < @lines && $lines[$i] =~ m{^\s*///}; };
open(my $out, '>', $output) or die "cannot write $output: $!\n";
for my $i (0 .. $#lines) {
  my $line = $lines[$i];
  if ($line =~ m{^(\s*)///(.*?)\s*$}) {
    my ($indent, $text) = ($1, $2);
    $text =~ s/([\\"])/\\$1/g;
    $line = "${indent}cpp_quote(\"//$text\")\n";
  } elsif ($line =~ m{^\s*$} && ($isDoc->($i - 1) || $isDoc->($i + 1))) {
    $line = "cpp_quote(\"\")\n";
  }
  print $out $line;
}
close($out) or die "cannot write $output: $!\n";
